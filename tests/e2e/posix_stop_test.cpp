// Stops of a real save by the signals a user or a system sends: at every
// step of a save, and at random moments of a larger one. Whatever the
// moment, the input is whole, the target is old or complete, and nothing
// else is left.
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <random>
#include <thread>

#include "e2e/e2e_support.h"
#include "support/save_scenario.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGKILL};

struct StopCase {
  const char* where;  // "ext4" (the test folder) or "tmpfs"
  SaveTarget target;
  friend void PrintTo(const StopCase& c, std::ostream* out) { *out << c.where << "/" << static_cast<int>(c.target); }
};

class Stops : public ::testing::TestWithParam<StopCase> {
 protected:
  // The folder the save happens in: the test's own, or a tmpfs in it.
  fs::path place() {
    if (std::string(GetParam().where) != "tmpfs") return folder_.path();
    const fs::path at = folder_ / "tmpfs";
    fs::create_directory(at);
    if (::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=100m") != 0) return {};
    mounted_ = at;
    return at;
  }
  void TearDown() override {
    if (!mounted_.empty()) ::umount(mounted_.c_str());
  }

  TempFolder folder_;
  fs::path mounted_;
};

// The tool stopped just before each call that changes a file or prints,
// in turn, by each signal, until a run passes its last step.
TEST_P(Stops, AtEveryStepOfTheSave) {
  const fs::path place = this->place();
  ASSERT_FALSE(place.empty()) << "cannot mount a tmpfs here";
  const SaveScenario scenario{GetParam().target, bigSampleMovie(2).bytes()};
  const std::string out = scenario.targetName();
  scenario.placeIn(place);
  ASSERT_EQ(runProgram(HUSHMAKER_EXE, {SaveScenario::kInput, out}, place).status, 7);
  const Bytes silent = readFile(place / out);
  ::setenv("LD_PRELOAD", HUSH_STOP_LIBRARY, 1);
  ::setenv("ASAN_OPTIONS", "verify_asan_link_order=0", 1);
  int step = 1;
  for (bool done = false; !done && step < 1000; ++step) {
    ::setenv("HUSH_STOP_AT", std::to_string(step).c_str(), 1);
    for (const int signal : kSignals) {
      ::setenv("HUSH_STOP_SIGNAL", std::to_string(signal).c_str(), 1);
      scenario.placeIn(place);
      // From another folder: what a stop leaves is removed where it is.
      const int status = runProgram(HUSHMAKER_EXE, {(place / SaveScenario::kInput).string(), (place / out).string()}, "/").status;
      SCOPED_TRACE("signal " + std::to_string(signal) + " before step " + std::to_string(step));
      EXPECT_TRUE(status == 7 || status == 128 + signal) << status;
      scenario.expectOldOrNew(filesIn(place), silent, signal == SIGKILL);
      done = status == 7;
    }
  }
  for (const char* name : {"LD_PRELOAD", "ASAN_OPTIONS", "HUSH_STOP_AT", "HUSH_STOP_SIGNAL"}) ::unsetenv(name);
  EXPECT_GT(step, 10);  // the steps were counted: a save takes more than that
  std::printf("[  stops   ] %d steps\n", step - 1);
}

// Real signals at random moments of a 20 MB save, on disk and in memory.
TEST_P(Stops, AtRandomMoments) {
  if (kSanitized) GTEST_SKIP() << "real-time stops: the plain build runs them";
  const fs::path place = this->place();
  ASSERT_FALSE(place.empty()) << "cannot mount a tmpfs here";
  const SaveScenario scenario{GetParam().target, bigSampleMovie(20).bytes()};
  const std::string out = scenario.targetName();
  scenario.placeIn(place);
  const auto start = Clock::now();
  ASSERT_EQ(runProgram(HUSHMAKER_EXE, {SaveScenario::kInput, out}, place).status, 7);
  const auto runTime = Clock::now() - start;
  const Bytes silent = readFile(place / out);
  std::mt19937 random(std::random_device{}());
  for (const int signal : kSignals) {
    scenario.placeIn(place);
    const auto delay = std::chrono::duration_cast<Clock::duration>(runTime * (random() % 1000) / 1000.0);
    const int pid = startProgram(HUSHMAKER_EXE, {SaveScenario::kInput, out}, place);
    std::this_thread::sleep_for(delay);
    const int status = stopProgram(pid, signal);
    SCOPED_TRACE("signal " + std::to_string(signal) + " after " + std::to_string(delay.count()) + " ns");
    EXPECT_TRUE(status == 7 || status == 128 + signal) << status;
    scenario.expectOldOrNew(filesIn(place), silent, signal == SIGKILL);
  }
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
