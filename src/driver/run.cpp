#include "driver/run.h"

#include <cstdio>
#include <new>
#include <string>

#include "chunky/chunky_file.h"
#include "driver/output_name.h"
#include "driver/strip_sounds.h"

namespace hush {
namespace {

// Loads one movie, silences it and saves it, with a line for each step.
int silence(const Argument& input, const std::string& outputName, const Path& outputPath, FileSystem& fileSystem) {
  ChunkyFile document(fileSystem);
  std::printf("Loading %s...\n", input.text.c_str());
  if (document.open(input.path) != kOpened) {
    std::printf("Couldn't load!\n");
    return kExitLoadFailed;
  }
  std::printf("Loaded. %u quads, silentifying...\n", static_cast<unsigned>(document.chunkCount()));
  if (!stripSounds(document)) return kExitGroupError;

  std::printf("Saving to %s...\n", outputName.c_str());
  if (document.save(outputPath) == kSaved) {
    std::printf("Saved!\n");
    return kExitSaved;
  }
  std::printf("Couldn't save!\n");
  return kExitSaveFailed;
}

int silenceUnderItsDefaultName(const Argument& input, FileSystem& fileSystem) {
  return silence(input, deriveOutputName(input.text), deriveOutputName(input.path), fileSystem);
}

// A failed run waits for the user; a pause after a failed save has always
// been spelled apart from the others.
void pauseAfterFailure(int status) {
  if (status != kExitSaved) pauseConsole(status == kExitSaveFailed ? PauseAfter::SaveFailure : PauseAfter::Failure);
}

}  // namespace

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

int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch) {
  const auto argc = args.size();
  std::printf("Hushmaker 0.2, by the Hushmaker team\n");
  std::printf("Chunkwright (v0.95 FINAL), the Hushmaker team's chunky file store\n\n");
  // No argument, or not even the program's name (a bare exec): usage.
  if (argc <= 1) {
    std::printf("Usage: Drag a file onto Hushmaker.exe!\n");
    std::printf("Or type: Hushmaker.exe <in.3mm> [out.3mm]\n");
    std::printf("at a command prompt.\n");
    pauseConsole(PauseAfter::Usage);
    return kExitUsage;
  }

  // Several files dropped at once: each is a movie of its own, and a second
  // one must never be taken for the first one's output.
  if (launch == Launch::Dropped && argc > 2) {
    int first = kExitSaved;
    for (std::size_t i = 1; i < argc; ++i) {
      const int status = silenceUnderItsDefaultName(args[i], fileSystem);
      if (first == kExitSaved) first = status;
    }
    pauseAfterFailure(first);
    return first;
  }

  const int status = argc == 3 ? silence(args[1], args[2].text, args[2].path, fileSystem)
                               : silenceUnderItsDefaultName(args[1], fileSystem);
  pauseAfterFailure(status);
  return status;
}

}  // namespace hush
