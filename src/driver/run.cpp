#include "driver/run.h"

#include <algorithm>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "chunky/chunky_file.h"
#include "driver/failure_reason.h"
#include "driver/strip_sounds.h"

namespace hush {
namespace {

void printVersion(std::FILE* out) { std::fprintf(out, "Hushmaker %s, by the Hushmaker team\n", HUSH_VERSION); }

void printBanner(std::FILE* out) {
  printVersion(out);
  std::fprintf(out, "Chunkwright (v0.95 FINAL), the Hushmaker team's chunky file store\n\n");
}

// Whether the one argument is one of `options`.
bool asksFor(const std::vector<Argument>& args, std::span<const std::string_view> options) {
  if (args.size() != 2) return false;
  for (const auto option : options) {
    if (args[1].text == option) return true;
  }
  return false;
}

constexpr std::string_view kVersionOptions[] = {"--version"};

// A refused group names itself first; running out of memory elsewhere in
// the pass has only the error line. Returns the reason.
std::string printRefusal(std::FILE* out, const StripRefusal& refusal) {
  if (refusal.group) {
    std::fprintf(out, "Loading %u (%s)\n", static_cast<unsigned>(refusal.group->number),
                 tagText(refusal.group->tag).c_str());
  }
  std::string reason = refusalReason(refusal.kind, refusal.codecWords);
  std::fprintf(out, "Error: %s\n", reason.c_str());
  return reason;
}

// The name the program was started as; none after a bare exec.
std::string programName(const std::vector<Argument>& args) { return args.empty() ? std::string() : args[0].text; }

// How one movie ended: its status, and why it was not saved.
struct Outcome {
  int status;
  std::string reason;
};

// A job the plan refused is not even loaded: it says why it was not saved.
Outcome refuse(const std::vector<Job>& jobs, const Job& job, std::FILE* out) {
  const std::string reason = refusalReason(job.refusal, job.output.text, jobs[job.earlier].input.text);
  std::fprintf(out, "Saving to %s...\nCouldn't save!\nError: %s\n", job.output.text.c_str(), reason.c_str());
  return {kExitSaveFailed, reason};
}

// Loads one movie, silences it and saves it, with a line for each step.
Outcome silence(const std::vector<Job>& jobs, std::size_t index, FileSystem& fileSystem, std::FILE* out) {
  const Job& job = jobs[index];
  if (job.refusal != Refusal::None) return refuse(jobs, job, out);
  ChunkyFile document(fileSystem);
  std::fprintf(out, "Loading %s...\n", job.input.text.c_str());
  if (document.open(job.input.path) != kOpened) {
    const std::string reason = failureReason(document.lastFailure(), Step::Load);
    std::fprintf(out, "Couldn't load!\nError: %s\n", reason.c_str());
    return {kExitLoadFailed, reason};
  }
  std::fprintf(out, "Loaded. %u quads, silentifying...\n", static_cast<unsigned>(document.chunkCount()));
  if (const StripResult stripped = stripSounds(document); !stripped.done()) {
    return {kExitGroupError, printRefusal(out, *stripped.refusal)};
  }
  std::fprintf(out, "Saving to %s...\n", job.output.text.c_str());
  if (document.save(job.output.path) == kSaved) {
    std::fprintf(out, "Saved!\n");
    return {kExitSaved, {}};
  }
  const std::string reason = failureReason(document.lastFailure(), Step::Save);
  std::fprintf(out, "Couldn't save!\nError: %s\n", reason.c_str());
  if (!copyLeftBehind().empty()) {
    std::fprintf(out, "The silent copy is left as %s, in the folder of %s\n", copyLeftBehind().c_str(),
                 job.output.text.c_str());
  }
  return {kExitSaveFailed, reason};
}

// After several movies, the last lines say how it went, and which failed.
void printSummary(std::FILE* out, const std::vector<Job>& jobs, const std::vector<Outcome>& outcomes) {
  const auto saved = std::count_if(outcomes.begin(), outcomes.end(), [](const Outcome& o) { return o.status == kExitSaved; });
  std::fprintf(out, "\nSaved %zu of %zu movies.\n", static_cast<std::size_t>(saved), jobs.size());
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (outcomes[i].status != kExitSaved) {
      std::fprintf(out, "Not saved: %s: %s\n", jobs[i].input.text.c_str(), outcomes[i].reason.c_str());
    }
  }
}

}  // namespace

int run(int argc, char** argv) {
  prepareProcess();
  try {
    return run(commandLineArguments(argc, argv), nativeFileSystem(),
               startedOnAConsoleOfItsOwn() ? Launch::Dropped : Launch::FromAPrompt);
  } catch (const std::bad_alloc&) {
    // Nothing has been written.
    std::printf("Error: %s\n", failureReason(Failure{FailureKind::OutOfMemory}, Step::Load).c_str());
    return kExitGroupError;
  }
}

int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch, std::FILE* out) {
  // Asked for, so never a pause.
  if (asksFor(args, kVersionOptions)) {
    printVersion(out);
    return kExitUsage;
  }
  printBanner(out);
  if (asksFor(args, helpOptions())) {
    printUsage(out, programName(args));
    return kExitUsage;
  }
  std::vector<Job> jobs = planJobs(args, launch);
  if (jobs.empty()) {
    printUsage(out, programName(args));
    pauseConsole(PauseAfter::Usage);
    return kExitUsage;
  }
  if (jobs.size() > 1) checkDrop(jobs, fileSystem);
  // Every job runs, whatever came before; the status is the first failure's.
  int status = kExitSaved;
  std::vector<Outcome> outcomes;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    outcomes.push_back(silence(jobs, i, fileSystem, out));
    if (status == kExitSaved) status = outcomes.back().status;
  }
  if (jobs.size() > 1) printSummary(out, jobs, outcomes);
  // A failed run waits for the user; a pause after a failed save has always
  // been spelled apart from the others.
  if (status != kExitSaved) pauseConsole(status == kExitSaveFailed ? PauseAfter::SaveFailure : PauseAfter::Failure);
  return status;
}

}  // namespace hush
