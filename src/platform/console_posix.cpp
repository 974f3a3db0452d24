#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "platform/console.h"
#include "platform/interruptions.h"

namespace hush {

void prepareProcess() {
  std::signal(SIGXFSZ, SIG_IGN);
  catchInterruptions();
}

void pauseConsole(PauseAfter /*reason*/) {
  if (::isatty(STDIN_FILENO) != 1) return;
  std::printf("Press Enter to continue . . .");
  std::fflush(stdout);
  for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
  }
  std::printf("\n");
}

bool startedOnAConsoleOfItsOwn() { return false; }

std::vector<Argument> commandLineArguments(int argc, char** argv) {
  std::vector<Argument> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Argument{argv[i], widenPath(argv[i])});
  return arguments;
}

}  // namespace hush
