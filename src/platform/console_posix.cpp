#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "driver/output_name.h"
#include "platform/console.h"

namespace hush {

void prepareProcess() { std::signal(SIGXFSZ, SIG_IGN); }

void pauseConsole(const char* /*command*/) {
  if (::isatty(STDIN_FILENO) != 1) return;
  std::printf("Press Enter to continue . . .");
  std::fflush(stdout);
  for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
  }
  std::printf("\n");
}

std::vector<Path> commandLinePaths(int argc, char** argv) {
  std::vector<Path> paths;
  for (int i = 0; i < argc; ++i) paths.push_back(widenPath(argv[i]));
  return paths;
}

}  // namespace hush
