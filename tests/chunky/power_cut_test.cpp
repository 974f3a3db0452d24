// The power goes at any moment of a save: afterwards the target holds its
// old bytes or the whole new document, and the input is whole.
#include <gtest/gtest.h>

#include "chunky/chunky_file.h"
#include "driver/strip_sounds.h"
#include "support/crash_file_system.h"
#include "support/sample_document.h"
#include "support/save_scenario.h"

namespace hush {
namespace {

using test::Bytes;
using test::CrashFileSystem;
using test::SaveScenario;
using test::SaveTarget;

// Loads and silences the movie on a fresh disk; the power will go after
// `cut` operations of the save.
ChunkyFile& prepare(const SaveScenario& scenario, CrashFileSystem& disk, std::optional<ChunkyFile>& store,
                    std::uint64_t cut) {
  for (const auto& [name, bytes] : scenario.before()) disk.put(Path(name.begin(), name.end()), bytes);
  store.emplace(disk);
  EXPECT_EQ(store->open(u"movie.3mm"), kOpened);
  EXPECT_TRUE(stripSounds(*store).done());
  disk.cutAfter(cut);
  return *store;
}

// The input and the target as found after the reboot. A cut between
// naming the temporary file and moving it may leave that name behind, as
// on a real disk; which document the target holds is what counts here.
test::FolderFiles inputAndTarget(const SaveScenario& scenario, const std::map<Path, Bytes>& files) {
  test::FolderFiles found;
  for (const std::string& name : {std::string(SaveScenario::kInput), scenario.targetName()}) {
    const auto file = files.find(Path(name.begin(), name.end()));
    if (file != files.end()) found[name] = file->second;
  }
  return found;
}

class PowerCut : public ::testing::TestWithParam<SaveTarget> {};

TEST_P(PowerCut, TargetIsOldOrNewAndTheInputWhole) {
  const SaveScenario scenario{GetParam(), test::largeSampleMovie().bytes()};
  const std::string target = scenario.targetName();
  const Path targetPath(target.begin(), target.end());
  constexpr std::uint32_t kSeeds = 12;

  // A save with no cut: how many operations it takes, what it writes.
  CrashFileSystem clean;
  std::optional<ChunkyFile> store;
  ASSERT_EQ(prepare(scenario, clean, store, UINT64_MAX).save(targetPath), kSaved);
  const std::uint64_t operations = clean.operations();
  const Bytes written = clean.afterReboot(0).at(targetPath);

  int oldKept = 0;
  int newFound = 0;
  for (std::uint64_t cut = 0; cut <= operations; ++cut) {
    for (std::uint32_t seed = 0; seed < kSeeds; ++seed) {
      SCOPED_TRACE("power cut after operation " + std::to_string(cut) + ", seed " + std::to_string(seed));
      CrashFileSystem disk;
      // Whatever the save answers, only what the disk holds afterwards counts.
      static_cast<void>(prepare(scenario, disk, store, cut).save(targetPath));
      store.reset();  // a process that lost its power does no more
      if (scenario.expectOldOrNew(inputAndTarget(scenario, disk.afterReboot(seed)), written)) {
        ++newFound;
      } else {
        ++oldKept;
        EXPECT_LT(cut, operations);  // once the save is through, the new document must stay
      }
    }
  }
  std::printf("[ power   ] %llu cut points x %u seeds: old target kept %d times, new document found %d times\n",
              static_cast<unsigned long long>(operations + 1), kSeeds, oldKept, newFound);
}

INSTANTIATE_TEST_SUITE_P(Targets, PowerCut,
                         ::testing::Values(SaveTarget::New, SaveTarget::Existing, SaveTarget::InPlace),
                         [](const auto& info) { return test::saveTargetName(info.param); });

}  // namespace
}  // namespace hush
