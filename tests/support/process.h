// Runs a program as a child process, as a user's script would.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace hush::test {

struct ProgramResult {
  int status = -1;
  std::string output;  // everything written to standard output
  std::string errors;  // and to standard error (runProgram)
};

// Runs `program` with `args` in `folder`, standard input from the null
// device, its output and errors captured.
ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder);

#ifdef _WIN32
// Runs it as Explorer runs a program files are dropped onto: on a console
// of its own, which it reads and writes (nothing captured); -2 if ended after 30 s.
int runDropped(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder);

// As a launcher with a hidden console (CREATE_NO_WINDOW) starts it, with the
// launcher's handles (the null device and a pipe) or none; the same limit.
int runHidden(const std::filesystem::path& program, const std::vector<std::string>& args,
              const std::filesystem::path& folder, bool withHandles);

// Runs it with its input on a pipe, and `whilePaused` once it waits for a key.
ProgramResult runUntilPaused(const std::filesystem::path& program, const std::vector<std::string>& args,
                             const std::filesystem::path& folder, const std::function<void()>& whilePaused);
#endif

// Runs it with standard input and output on a terminal, in its
// foreground, typing `typed` into it once it prompts.
ProgramResult runOnTerminal(const std::filesystem::path& program, const std::vector<std::string>& args,
                            const std::filesystem::path& folder, const std::string& typed);

// Starts `program` in the background (output to the null device) and
// returns its process id.
int startProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& folder);
#ifndef _WIN32
// Sends `signal` to a started program and waits for it: its exit status,
// or 128 plus the signal that ended it.
int stopProgram(int pid, int signal);
#else
// Ends a started program as Task Manager's "End task" does
// (TerminateProcess) and waits until it is gone.
void endProgram(int pid);
#endif

}  // namespace hush::test
