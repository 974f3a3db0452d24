// The whole run, from the process arguments to the exit status.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include "driver/job_plan.h"
#include "platform/console.h"
#include "platform/file_system.h"

namespace hush {

enum ExitStatus : int {
  kExitUsage = 0,
  kExitHandedOver = 0,  // a movie from Explorer's menu, left to the run that silences the selection
  kExitLoadFailed = 1,
  kExitBadCall = 1,  // an unknown option, or text asked for that could not be written
  kExitGroupError = 2,
  kExitSaveFailed = 3,
  kExitSaved = 7,  // scripts rely on 7 for a saved document
};

// The process's run, on the arguments as given to main; the one entry of
// the tool and of the page. Running out of memory in the run's own few
// strings ends it with the line that says so (the document's steps answer
// for their own memory).
int run(int argc, char** argv);

// The run on arguments already taken apart. The documents are read and
// written through `fileSystem`, every line goes to `out`, and the one note
// on ignored arguments to `err`.
int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch = Launch::FromAPrompt,
        std::FILE* out = stdout, std::FILE* err = stderr);

}  // namespace hush
