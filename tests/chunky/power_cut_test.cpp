// The power goes at any moment of a save: afterwards the target holds its
// old bytes or the whole new document, and the input is whole.
#include <gtest/gtest.h>

#include "chunky/chunky_file.h"
#include "driver/strip_sounds.h"
#include "support/crash_file_system.h"
#include "support/sample_document.h"

namespace hush {
namespace {

using test::Bytes;
using test::CrashFileSystem;

enum class Target { New, Existing, Input };

struct SaveScene {
  Bytes movie = test::largeSampleMovie().bytes();
  Bytes oldTarget = test::bytesOf("an older silent movie");
  Target target;

  Path targetName() const { return target == Target::Input ? u"movie.3mm" : u"out.3mm"; }

  // Loads and silences the movie on a fresh disk; the power will go after
  // `cut` operations of the save.
  ChunkyFile& prepare(CrashFileSystem& disk, std::optional<ChunkyFile>& store, std::uint64_t cut) const {
    disk.put(u"movie.3mm", movie);
    if (target == Target::Existing) disk.put(u"out.3mm", oldTarget);
    store.emplace(disk);
    EXPECT_EQ(store->open(u"movie.3mm"), kOpened);
    EXPECT_TRUE(stripSounds(*store).done());
    disk.cutAfter(cut);
    return *store;
  }
};

class PowerCut : public ::testing::TestWithParam<Target> {};

TEST_P(PowerCut, TargetIsOldOrNewAndTheInputWhole) {
  const SaveScene setup{.target = GetParam()};
  constexpr std::uint32_t kSeeds = 12;

  // A save with no cut: how many operations it takes, what it writes.
  CrashFileSystem clean;
  std::optional<ChunkyFile> store;
  ASSERT_EQ(setup.prepare(clean, store, UINT64_MAX).save(setup.targetName()), kSaved);
  const std::uint64_t operations = clean.operations();
  const Bytes written = clean.afterReboot(0).at(setup.targetName());
  const std::optional<Bytes> before = setup.target == Target::New ? std::nullopt
                                      : setup.target == Target::Existing ? std::optional(setup.oldTarget)
                                                                         : std::optional(setup.movie);

  int oldKept = 0;
  int newFound = 0;
  for (std::uint64_t cut = 0; cut <= operations; ++cut) {
    for (std::uint32_t seed = 0; seed < kSeeds; ++seed) {
      SCOPED_TRACE("power cut after operation " + std::to_string(cut) + ", seed " + std::to_string(seed));
      CrashFileSystem disk;
      // Whatever the save answers, only what the disk holds afterwards counts.
      static_cast<void>(setup.prepare(disk, store, cut).save(setup.targetName()));
      store.reset();  // a process that lost its power does no more
      const auto files = disk.afterReboot(seed);
      const auto target = files.find(setup.targetName());
      const std::optional<Bytes> found = target == files.end() ? std::nullopt : std::optional(target->second);
      if (found == written) {
        ++newFound;
      } else {
        ++oldKept;
        EXPECT_EQ(found, before);
        // Once the save is through, the new document must stay.
        EXPECT_LT(cut, operations);
      }
      if (setup.target != Target::Input) {
        EXPECT_EQ(files.at(u"movie.3mm"), setup.movie);
      }
    }
  }
  std::printf("[ power   ] %llu cut points x %u seeds: old target kept %d times, new document found %d times\n",
              static_cast<unsigned long long>(operations + 1), kSeeds, oldKept, newFound);
}

INSTANTIATE_TEST_SUITE_P(Targets, PowerCut, ::testing::Values(Target::New, Target::Existing, Target::Input),
                         [](const auto& info) {
                           return info.param == Target::New ? "New" : info.param == Target::Existing ? "Existing" : "InPlace";
                         });

}  // namespace
}  // namespace hush
