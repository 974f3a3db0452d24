// The whole run, from the process arguments to the exit status.
#pragma once

#include <string>
#include <vector>

#include "platform/file_system.h"

namespace hush {

enum ExitStatus : int {
  kExitUsage = 0,
  kExitLoadFailed = 1,
  kExitGroupError = 2,
  kExitSaveFailed = 3,
  kExitSaved = 7,  // scripts rely on 7 for a saved document
};

// The process's run: the arguments as given to main.
int run(int argc, char** argv);

// The run on arguments already taken apart: `args` are the narrow
// arguments the messages show (args[0] the program), `paths` the same
// arguments as paths. The documents are read and written through
// `fileSystem`.
int run(const std::vector<std::string>& args, const std::vector<Path>& paths, FileSystem& fileSystem);

}  // namespace hush
