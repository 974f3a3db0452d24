#define WIN32_LEAN_AND_MEAN
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>

#include "platform/console.h"
#include "platform/interruptions.h"

namespace hush {

void prepareProcess() { catchInterruptions(); }

namespace {

bool isConsole(DWORD which) {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(which), &mode) != 0;
}

bool isBareDevice(DWORD which) {
  const HANDLE handle = GetStdHandle(which);
  return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_CHAR &&
         !isConsole(which);
}

ConsoleFacts consoleFacts() {
  ConsoleFacts facts;
  DWORD processes[2];
  facts.window = GetConsoleWindow() != nullptr;
  facts.alone = GetConsoleProcessList(processes, 2) == 1;
  facts.readsIt = isConsole(STD_INPUT_HANDLE);
  facts.writesIt = isConsole(STD_OUTPUT_HANDLE);
  facts.underWine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
  facts.bareDevices = isBareDevice(STD_INPUT_HANDLE) && isBareDevice(STD_OUTPUT_HANDLE);
  return facts;
}

}  // namespace

void pauseConsole(PauseAfter reason, bool asked) {
  // Unasked, only a console a person can see, as input and as output both:
  // _isatty is also true for the NUL device, output sent to a file would
  // hide the prompt, and a hidden console (CREATE_NO_WINDOW) would wait for
  // ever.
  const ConsoleFacts facts = consoleFacts();
  if (!asked && (!facts.window || !facts.readsIt || !facts.writesIt)) return;
  std::fflush(stdout);
  // The command interpreter's own pause, spelled as it always was.
  (void)std::system(reason == PauseAfter::SaveFailure ? "pause" : "Pause");
}

bool startedOnAConsoleOfItsOwn() { return isADropConsole(consoleFacts()); }

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
