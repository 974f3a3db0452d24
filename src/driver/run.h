// The whole run, from the process arguments to the exit status.
#pragma once

#include <vector>

#include "platform/console.h"
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

// How the process was started: from a command prompt or a script, or by
// files dropped onto the program (a console of its own).
enum class Launch { FromAPrompt, Dropped };

// The run on arguments already taken apart (args[0] the program). The
// documents are read and written through `fileSystem`. Dropped files are
// each a movie to silence under its default name; from a prompt a second
// argument names the output.
int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch = Launch::FromAPrompt);

}  // namespace hush
