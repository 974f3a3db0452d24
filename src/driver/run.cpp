#include "driver/run.h"

#include <algorithm>
#include <new>
#include <optional>

#include "chunky/chunky_file.h"
#include "driver/failure_reason.h"
#include "driver/options.h"
#include "driver/strip_sounds.h"
#include "platform/explorer_menu.h"

namespace hush {
namespace {

void printVersion(std::FILE* out) { std::fprintf(out, "Hushmaker %s, by the Hushmaker team\n", HUSH_VERSION); }

void printBanner(std::FILE* out) {
  printVersion(out);
  std::fprintf(out, "Chunkwright (v0.95 FINAL), the Hushmaker team's chunky file store\n\n");
}

// Text shown ends the run well only if it was all written (a full disk or
// a closed pipe fails it, as for any tool).
int written(std::FILE* out) { return std::fflush(out) == 0 && std::ferror(out) == 0 ? kExitUsage : kExitBadCall; }
int written(std::FILE* out, std::FILE* err) { return written(out) == kExitUsage ? written(err) : kExitBadCall; }

// Three files or more: a plain run silences the first under its default
// name and leaves the rest alone, as it always has; they are named, on
// standard error, so that none is skipped unseen.
void noteIgnored(std::FILE* err, const std::vector<Argument>& files) {
  std::fprintf(err, "Ignored:");
  for (std::size_t i = 2; i < files.size(); ++i) std::fprintf(err, " %s", files[i].text.c_str());
  std::fprintf(err, " (to silence each file as a movie of its own, use --each)\n");
}

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
  bool again = false;  // the same movie as an earlier one, only noted
};

// A job the plan refused is not even loaded: it says why it was not saved.
Outcome refuse(const std::vector<Job>& jobs, const Job& job, std::FILE* out) {
  const std::string reason = refusalReason(job.refusal, job.output.text, jobs[job.earlier].input.text);
  std::fprintf(out, "Saving to %s...\nCouldn't save!\nError: %s\n", job.output.text.c_str(), reason.c_str());
  return {kExitSaveFailed, reason};
}

// Loads one movie, silences it and saves it, with a line for each step.
// A movie named again is silenced once: its second name is only noted.
Outcome silence(const std::vector<Job>& jobs, std::size_t index, FileSystem& fileSystem, std::FILE* out) {
  const Job& job = jobs[index];
  if (job.sameMovieAs) {
    std::fprintf(out, "%s is the same movie as %s (above), so it is not silenced twice\n", job.input.text.c_str(),
                 jobs[*job.sameMovieAs].input.text.c_str());
    return {kExitSaved, {}, true};
  }
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

// After several movies, the last lines say how it went, and which failed;
// a movie named twice counts once.
void printSummary(std::FILE* out, const std::vector<Job>& jobs, const std::vector<Outcome>& outcomes) {
  std::size_t movies = 0, saved = 0;
  for (const Outcome& outcome : outcomes) {
    movies += outcome.again ? 0 : 1;
    saved += !outcome.again && outcome.status == kExitSaved ? 1 : 0;
  }
  std::fprintf(out, "\nSaved %zu of %zu movies.\n", saved, movies);
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    if (outcomes[i].status != kExitSaved) {
      std::fprintf(out, "Not saved: %s: %s\n", jobs[i].input.text.c_str(), outcomes[i].reason.c_str());
    }
  }
}

// The menu's options stand alone.
int changeExplorerMenu(const Options& options, const std::vector<Argument>& args, std::FILE* out, std::FILE* err) {
  if (options.install == options.uninstall || options.files.size() > 1) {
    printUsage(err, programName(args));
    return kExitBadCall;
  }
  const bool done = options.install ? installExplorerMenu(out) : uninstallExplorerMenu(out);
  return done ? written(out) : kExitBadCall;
}

// Every job runs, whatever came before; the status is the first failure's.
int silenceAll(const std::vector<Job>& jobs, FileSystem& fileSystem, std::FILE* out) {
  int status = kExitSaved;
  std::vector<Outcome> outcomes;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    outcomes.push_back(silence(jobs, i, fileSystem, out));
    if (status == kExitSaved) status = outcomes.back().status;
  }
  if (jobs.size() > 1) printSummary(out, jobs, outcomes);
  return status;
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

int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch, std::FILE* out, std::FILE* err) {
  const Options options = readOptions(args);
  // Asked for, so never a pause.
  if (options.version && !options.help && options.unknown.empty()) {
    printVersion(out);
    return written(out);
  }
  std::vector<Argument> files = options.files;
  if (options.menu && options.unknown.empty() && !options.help && files.size() == 2) {
    // One process per movie selected in Explorer: the first silences them
    // all, and the rest leave without a word.
    std::optional<std::vector<Argument>> selection = gatherSelection(files[1]);
    if (!selection) return kExitHandedOver;
    files.resize(1);
    files.insert(files.end(), selection->begin(), selection->end());
  }
  printBanner(out);
  // The usage asked for is the output; after a mistake it goes with the
  // error, to standard error.
  if (!options.unknown.empty()) {
    std::fprintf(err, "Unknown option: %s\n", options.unknown.c_str());
    printUsage(err, programName(args));
    return kExitBadCall;
  }
  if (options.help) {
    printUsage(out, programName(args));
    return written(out);
  }
  if (options.install || options.uninstall) return changeExplorerMenu(options, args, out, err);
  const bool each = options.each || options.menu || launch == Launch::Dropped;
  std::vector<Job> jobs = planJobs(files, each);
  if (jobs.empty()) {
    printUsage(err, programName(args));
    pauseConsole(PauseAfter::Usage, options.pause);
    return written(out, err);
  }
  if (!each && files.size() > 3) noteIgnored(err, files);
  if (each) checkDrop(jobs, fileSystem);
  const int status = silenceAll(jobs, fileSystem, out);
  // A failed run waits for the user; a pause after a failed save has always
  // been spelled apart from the others.
  if (status != kExitSaved) {
    pauseConsole(status == kExitSaveFailed ? PauseAfter::SaveFailure : PauseAfter::Failure, options.pause);
  }
  return status;
}

}  // namespace hush
