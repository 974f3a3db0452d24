// The console around a run: the pause that holds a dropped-on window open,
// and the paths the user named.
#pragma once

#include <cstdio>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace hush {

// Sets up the process before any file is touched: a file-size limit must
// fail a write (which a save reports) rather than kill the process halfway,
// and an interruption must take its temporary file with it.
void prepareProcess();

// What a pause follows: the usage text, a failed load or a stopped pass,
// or a failed save.
enum class PauseAfter { Usage, Failure, SaveFailure };

// Holds the console open until the user answers: when `asked` (--pause),
// and on Windows also on a console a person sees that is both standard
// input and standard output, as after a drop. A terminal program on other
// systems never waits by itself: a script in a terminal looks just like a
// person there.
void pauseConsole(PauseAfter reason, bool asked);

// What a process can see of the console it runs on.
struct ConsoleFacts {
  bool window = false;       // the console has a window a person can see
  bool alone = false;        // no other process is attached to it
  bool readsIt = false;      // standard input is that console
  bool writesIt = false;     // standard output is that console
  bool underWine = false;    // Wine, whose new consoles differ (below)
  bool bareDevices = false;  // standard input and output are character devices, not a console
};

// Whether files were dropped onto the program: Explorer gives it a console
// of its own, with a window, that it reads and writes. A launcher with a
// hidden console (CREATE_NO_WINDOW) has no window; one that hands over its
// own handles does not read and write the console. Wine gives every new
// console no window and character devices for handles, so there those
// stand for a drop.
constexpr bool isADropConsole(const ConsoleFacts& facts) {
  if (!facts.alone) return false;
  if (facts.window) return facts.readsIt && facts.writesIt;
  return facts.underWine && facts.bareDevices;
}

// Whether the process was given a console of its own, as Explorer does for
// files dropped onto the program; never off Windows.
bool startedOnAConsoleOfItsOwn();

// The usage text, in the words of this platform's way of starting the
// tool; `program` is the name it was started as.
void printUsage(std::FILE* out, const std::string& program);

// The arguments that ask for the usage text.
std::span<const std::string_view> helpOptions();

// One command-line argument: its bytes as the messages show them, and the
// path it names.
struct Argument {
  std::string text;
  Path path;
};

// The arguments, argv[0] included. Off Windows each byte of an argument
// becomes one path unit; on Windows the paths come from the wide command
// line, so names in any script reach the file system intact.
std::vector<Argument> commandLineArguments(int argc, char** argv);

}  // namespace hush
