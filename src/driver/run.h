// The whole run, from the process arguments to the exit status.
#pragma once

#include <cstdio>
#include <string>
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

// One movie to silence: the input as the user named it, and the output
// with how it got its name.
struct Job {
  enum class Naming { Given, Default };
  Argument input;
  Argument output;
  Naming naming = Naming::Default;
  std::string refusal;  // why the output must not be written; empty when it may
};

// The jobs the arguments ask for (args[0] the program), none for the
// usage. Dropped files are each a movie to silence under its default name;
// from a prompt a second argument names the output.
std::vector<Job> planJobs(const std::vector<Argument>& args, Launch launch);

// Looks at a drop's files before anything is written: a movie whose output
// is another dropped movie, or the output of a movie before it, is given a
// refusal. Files are compared by identity where they exist.
void checkDrop(std::vector<Job>& jobs, FileSystem& fileSystem);

// The run on arguments already taken apart. The documents are read and
// written through `fileSystem`, and every line goes to `out`.
int run(const std::vector<Argument>& args, FileSystem& fileSystem, Launch launch = Launch::FromAPrompt,
        std::FILE* out = stdout);

}  // namespace hush
