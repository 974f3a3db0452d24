#include "driver/run.h"

#include <algorithm>
#include <new>
#include <optional>
#include <span>
#include <string_view>

#include "chunky/chunky_file.h"
#include "driver/failure_reason.h"
#include "driver/output_name.h"
#include "driver/strip_sounds.h"

namespace hush {
namespace {

void printVersion(std::FILE* out) { std::fprintf(out, "Hushmaker %s, by the Hushmaker team\n", HUSH_VERSION); }

void printBanner(std::FILE* out) {
  printVersion(out);
  std::fprintf(out, "Chunkwright (v0.95 FINAL), the Hushmaker team's chunky file store\n\n");
}

// Windows users drop files onto the program; elsewhere it is named as it
// was started.
void printUsage(std::FILE* out, const std::vector<Argument>& args) {
#ifdef _WIN32
  (void)args;
  std::fprintf(out, "Usage: Drag a file onto Hushmaker.exe!\n");
  std::fprintf(out, "Or type: Hushmaker.exe <in.3mm> [out.3mm]\n");
  std::fprintf(out, "at a command prompt.\n");
#else
  const char* program = args.empty() || args[0].text.empty() ? "hushmaker" : args[0].text.c_str();
  std::fprintf(out, "Usage: %s <in.3mm> [out.3mm]\n", program);
  std::fprintf(out, "Saves the movie without its sounds, as out.3mm or else as in-quiet.3mm.\n");
#endif
}

// Whether the one argument is one of `options`.
bool asksFor(const std::vector<Argument>& args, std::span<const std::string_view> options) {
  if (args.size() != 2) return false;
  for (const auto option : options) {
    if (args[1].text == option) return true;
  }
  return false;
}

#ifdef _WIN32
constexpr std::string_view kHelpOptions[] = {"--help", "-h", "/?"};
#else
constexpr std::string_view kHelpOptions[] = {"--help", "-h"};
#endif
constexpr std::string_view kVersionOptions[] = {"--version"};

// A refused group names itself first; running out of memory elsewhere in
// the pass has only the error line.
void printRefusal(std::FILE* out, const StripRefusal& refusal) {
  if (refusal.group) {
    std::fprintf(out, "Loading %u (%s)\n", static_cast<unsigned>(refusal.group->number),
                 tagText(refusal.group->tag).c_str());
  }
  std::fprintf(out, "Error: %s\n", refusal.message.c_str());
}

// How one movie ended: its status, and why it was not saved.
struct Outcome {
  int status;
  std::string reason;
};

// Loads one movie, silences it and saves it, with a line for each step.
Outcome silence(const Job& job, FileSystem& fileSystem, std::FILE* out) {
  ChunkyFile document(fileSystem);
  std::fprintf(out, "Loading %s...\n", job.input.text.c_str());
  if (document.open(job.input.path) != kOpened) {
    const std::string reason = failureReason(document.lastFailure(), Step::Load);
    std::fprintf(out, "Couldn't load!\nError: %s\n", reason.c_str());
    return {kExitLoadFailed, reason};
  }
  std::fprintf(out, "Loaded. %u quads, silentifying...\n", static_cast<unsigned>(document.chunkCount()));
  if (const StripResult stripped = stripSounds(document); !stripped.done()) {
    printRefusal(out, *stripped.refusal);
    return {kExitGroupError, stripped.refusal->message};
  }
  std::fprintf(out, "Saving to %s...\n", job.output.text.c_str());
  if (job.refusal.empty() && document.save(job.output.path) == kSaved) {
    std::fprintf(out, "Saved!\n");
    return {kExitSaved, {}};
  }
  const std::string reason =
      job.refusal.empty() ? failureReason(document.lastFailure(), Step::Save) : job.refusal;
  std::fprintf(out, "Couldn't save!\nError: %s\n", reason.c_str());
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

// Two spellings of one file that does not exist yet: names on Windows
// ignore case.
bool sameSpelling(const Path& a, const Path& b) {
#ifdef _WIN32
  const auto fold = [](char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) {
           return fold(x) == fold(y);
         });
#else
  return a == b;
#endif
}

Job underItsDefaultName(const Argument& input) {
  return Job{input, Argument{deriveOutputName(input.text), deriveOutputName(input.path)}, Job::Naming::Default, {}};
}

}  // namespace

void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem) {
  std::vector<std::optional<FileIdentity>> movies;
  std::vector<std::optional<FileIdentity>> outputs;
  for (const Job& job : jobs) {
    const auto movie = fileSystem.stateOf(job.input.path);
    const auto output = fileSystem.stateOf(job.output.path);
    movies.push_back(movie ? std::optional(movie->identity) : std::nullopt);
    outputs.push_back(output ? std::optional(output->identity) : std::nullopt);
  }
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    for (std::size_t j = 0; j < jobs.size() && jobs[i].refusal.empty(); ++j) {
      if (outputs[i] && outputs[i] == movies[j]) {
        jobs[i].refusal = jobs[i].output.text + " is one of the dropped movies; it is left as it was";
      } else if (j < i && jobs[j].refusal.empty() &&
                 (outputs[i] ? outputs[i] == outputs[j] : sameSpelling(jobs[i].output.path, jobs[j].output.path))) {
        jobs[i].refusal = jobs[i].output.text + " is the silent copy of " + jobs[j].input.text + " in this drop";
      }
    }
  }
}

std::vector<Job> planJobs(const std::vector<Argument>& args, Launch launch) {
  // No argument, or not even the program's name (a bare exec): usage.
  if (args.size() <= 1) return {};
  // Several files dropped at once: each is a movie of its own, and a second
  // one must never be taken for the first one's output.
  if (launch == Launch::Dropped && args.size() > 2) {
    std::vector<Job> jobs;
    for (std::size_t i = 1; i < args.size(); ++i) jobs.push_back(underItsDefaultName(args[i]));
    return jobs;
  }
  if (args.size() == 3) return {Job{args[1], args[2], Job::Naming::Given, {}}};
  return {underItsDefaultName(args[1])};
}

int run(int argc, char** argv) {
  prepareProcess();
  try {
    return run(commandLineArguments(argc, argv), nativeFileSystem(),
               startedOnAConsoleOfItsOwn() ? Launch::Dropped : Launch::FromAPrompt);
  } catch (const std::bad_alloc&) {
    // The document's own steps answer for their memory; this is the run's
    // few strings, and nothing has been written.
    std::printf("Error: Not enough memory\n");
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
  if (asksFor(args, kHelpOptions)) {
    printUsage(out, args);
    return kExitUsage;
  }
  std::vector<Job> jobs = planJobs(args, launch);
  if (jobs.empty()) {
    printUsage(out, args);
    pauseConsole(PauseAfter::Usage);
    return kExitUsage;
  }
  if (jobs.size() > 1) checkDrop(jobs, fileSystem);
  // Every job runs, whatever came before; the status is the first failure's.
  int status = kExitSaved;
  std::vector<Outcome> outcomes;
  for (const Job& job : jobs) {
    outcomes.push_back(silence(job, fileSystem, out));
    if (status == kExitSaved) status = outcomes.back().status;
  }
  if (jobs.size() > 1) printSummary(out, jobs, outcomes);
  // A failed run waits for the user; a pause after a failed save has always
  // been spelled apart from the others.
  if (status != kExitSaved) pauseConsole(status == kExitSaveFailed ? PauseAfter::SaveFailure : PauseAfter::Failure);
  return status;
}

}  // namespace hush
