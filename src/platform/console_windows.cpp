#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"

namespace hush {

void prepareProcess() {}

void pauseConsole(const char* command) {
  // Only a real console: _isatty is also true for the NUL device.
  DWORD mode = 0;
  if (!GetConsoleMode(GetStdHandle(STD_INPUT_HANDLE), &mode)) return;
  std::fflush(stdout);
  (void)std::system(command);
}

std::vector<Path> commandLinePaths(int argc, char** argv) {
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

}  // namespace hush
