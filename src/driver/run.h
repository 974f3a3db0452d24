// The whole run, from the process arguments to the exit status.
#pragma once

#include "platform/file_system.h"

namespace hush {

enum ExitStatus : int {
  kExitUsage = 0,
  kExitLoadFailed = 1,
  kExitGroupError = 2,
  kExitSaveFailed = 3,
  kExitSaved = 7,  // scripts rely on 7 for a saved document
};

// The documents are read and written through `fileSystem`.
int run(int argc, char** argv, FileSystem& fileSystem = nativeFileSystem());

}  // namespace hush
