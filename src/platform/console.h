// The console around a run: the pause that holds a dropped-on window open,
// and the paths the user named.
#pragma once

#include <vector>

#include "platform/file_system.h"

namespace hush {

// Sets up the process before any file is touched: a file-size limit must
// fail a write (which a save reports) rather than kill the process halfway.
void prepareProcess();

// Runs the command interpreter's pause (`command` is "Pause" or "pause")
// when standard input is an interactive console; a script, a pipe or a
// null device never waits and sees nothing.
void pauseConsole(const char* command);

// The arguments as paths, argv[0] included. Off Windows each byte of an
// argument becomes one unit; on Windows they come from the wide command
// line, so names in any script reach the file system intact.
std::vector<Path> commandLinePaths(int argc, char** argv);

}  // namespace hush
