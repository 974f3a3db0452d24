#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "platform/interruptions.h"

namespace hush {

void prepareProcess() { catchInterruptions(); }

void pauseConsole(PauseAfter reason) {
  // Only a real console, as input and as output both: _isatty is also true
  // for the NUL device, and output sent to a file would hide the prompt.
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode) ||
      !GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode)) {
    return;
  }
  std::fflush(stdout);
  // The command interpreter's own pause, spelled as it always was.
  (void)std::system(reason == PauseAfter::SaveFailure ? "pause" : "Pause");
}

bool startedOnAConsoleOfItsOwn() {
  // Explorer starts a console program on a new console: then this process
  // is the only one attached to it. A prompt, a script or a program that
  // shares its console (or has none) gives more, or none.
  DWORD processes[2];
  return GetConsoleProcessList(processes, 2) == 1;
}

namespace {

std::vector<Path> widePaths(int argc, char** argv) {
  std::vector<Path> paths;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide != nullptr && count == argc) {
    for (int i = 0; i < count; ++i) {
      const std::wstring arg(wide[i]);
      paths.emplace_back(arg.begin(), arg.end());
    }
  } else {
    // The two splittings disagree: fall back to the code page's reading of
    // the narrow arguments.
    for (int i = 0; i < argc; ++i) {
      const int length = MultiByteToWideChar(CP_ACP, 0, argv[i], -1, nullptr, 0);
      std::wstring arg(length > 0 ? length - 1 : 0, L'\0');
      if (length > 1) MultiByteToWideChar(CP_ACP, 0, argv[i], -1, arg.data(), length);
      paths.emplace_back(arg.begin(), arg.end());
    }
  }
  if (wide != nullptr) LocalFree(wide);
  return paths;
}

}  // namespace

std::vector<Argument> commandLineArguments(int argc, char** argv) {
  std::vector<Path> paths = widePaths(argc, argv);
  std::vector<Argument> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Argument{argv[i], std::move(paths[static_cast<std::size_t>(i)])});
  return arguments;
}

}  // namespace hush
