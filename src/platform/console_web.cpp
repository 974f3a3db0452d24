// The browser's console: the page shows every line, and nobody is ever
// waiting at a prompt that could hold the run.
#include "platform/console.h"

namespace hush {

void prepareProcess() {}

void pauseConsole(PauseAfter) {}

bool startedOnAConsoleOfItsOwn() { return false; }

std::vector<Argument> commandLineArguments(int argc, char** argv) {
  std::vector<Argument> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Argument{argv[i], widenPath(argv[i])});
  return arguments;
}

}  // namespace hush
