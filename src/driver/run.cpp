#include "driver/run.h"

#include <cstdio>
#include <new>
#include <string>

#include "chunky/chunky_file.h"
#include "driver/output_name.h"
#include "driver/strip_sounds.h"

namespace hush {

int run(int argc, char** argv) {
  prepareProcess();
  try {
    return run(commandLineArguments(argc, argv), nativeFileSystem());
  } catch (const std::bad_alloc&) {
    // The document's own steps answer for their memory; this is the run's
    // few strings, and nothing has been written.
    std::printf("Error: Not enough memory\n");
    return kExitGroupError;
  }
}

int run(const std::vector<Argument>& args, FileSystem& fileSystem) {
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

  const std::string& inputName = args[1].text;
  const Path& inputPath = args[1].path;
  const std::string outputName = argc == 3 ? args[2].text : deriveOutputName(inputName);
  const Path outputPath = argc == 3 ? args[2].path : deriveOutputName(inputPath);

  ChunkyFile document(fileSystem);
  std::printf("Loading %s...\n", inputName.c_str());
  if (document.open(inputPath) != kOpened) {
    std::printf("Couldn't load!\n");
    pauseConsole(PauseAfter::LoadFailure);
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
  pauseConsole(PauseAfter::SaveFailure);
  return kExitSaveFailed;
}

}  // namespace hush
