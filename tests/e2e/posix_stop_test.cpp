// Real stops of a real save: a 100 MB movie, the tool stopped at random
// moments by the signals a user or a system sends. Whatever the moment, the
// input is whole, the target is old or complete, and nothing else is left.
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <optional>
#include <random>
#include <thread>

#include "e2e/e2e_support.h"
#include "support/save_scenario.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct StopCase {
  const char* where;  // "ext4" (the test folder) or "tmpfs"
  SaveTarget target;
  friend void PrintTo(const StopCase& c, std::ostream* out) { *out << c.where << "/" << static_cast<int>(c.target); }
};

class Stops : public ::testing::TestWithParam<StopCase> {};

TEST_P(Stops, LeaveTheInputWholeTheTargetOldOrCompleteAndNothingElse) {
  if (kSanitized) GTEST_SKIP() << "real-time stops of 100 MB saves: the plain build runs them";
  TempFolder folder;
  fs::path place = folder.path();
  struct Unmount {
    fs::path at;
    ~Unmount() {
      if (!at.empty()) ::umount(at.c_str());
    }
  } unmount;
  if (std::string(GetParam().where) == "tmpfs") {
    place = folder / "tmpfs";
    fs::create_directory(place);
    if (::mount("tmpfs", place.c_str(), "tmpfs", 0, "size=400m") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
    unmount.at = place;
  }
  const SaveScenario scenario{GetParam().target, bigSampleMovie(100).bytes()};
  const std::string out = scenario.targetName();
  // One whole run: what it writes and how long it takes.
  scenario.placeIn(place);
  const auto start = Clock::now();
  ASSERT_EQ(runProgram(HUSHMAKER_EXE, {SaveScenario::kInput, out}, place).status, 7);
  const auto runTime = Clock::now() - start;
  const Bytes silent = readFile(place / out);

  std::mt19937 random(std::random_device{}());
  int interrupted = 0;
  for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGKILL}) {
    for (int stop = 0; stop < 4; ++stop) {
      scenario.placeIn(place);
      const auto delay = std::chrono::duration_cast<Clock::duration>(runTime * (random() % 1000) / 1000.0);
      const int pid = startProgram(HUSHMAKER_EXE, {SaveScenario::kInput, out}, place);
      std::this_thread::sleep_for(delay);
      const int status = stopProgram(pid, signal);
      SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(delay.count()) + " ns, status " +
                   std::to_string(status));
      EXPECT_TRUE(status == 7 || status == 128 + signal);  // done before the signal, or ended by it
      interrupted += status == 128 + signal ? 1 : 0;
      scenario.expectOldOrNew(filesIn(place), silent, signal == SIGKILL);
    }
  }
  std::printf("[  stops   ] %s: 16 stops, %d of them before the run ended\n", GetParam().where, interrupted);
}

std::string stopCaseName(const ::testing::TestParamInfo<StopCase>& info) {
  return std::string(info.param.where) + saveTargetName(info.param.target);
}

INSTANTIATE_TEST_SUITE_P(Targets, Stops,
                         ::testing::Values(StopCase{"ext4", SaveTarget::New}, StopCase{"ext4", SaveTarget::Existing},
                                           StopCase{"ext4", SaveTarget::InPlace}, StopCase{"tmpfs", SaveTarget::New},
                                           StopCase{"tmpfs", SaveTarget::Existing}, StopCase{"tmpfs", SaveTarget::InPlace}),
                         stopCaseName);

}  // namespace
}  // namespace hush::test
