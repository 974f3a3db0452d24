#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <functional>
#include <stdexcept>
#include <string>

#include "support/process.h"

namespace hush::test {
namespace {

std::wstring fromUtf8(const std::string& text) {
  if (text.empty()) return {};
  const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
  return wide;
}

// Quotes one argument so that the child's command-line splitting gives it
// back unchanged.
std::wstring quoted(const std::wstring& arg) {
  if (!arg.empty() && arg.find_first_of(L" \t\"") == std::wstring::npos) return arg;
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : arg) {
    if (c == L'\\') {
      ++slashes;
    } else if (c == L'"') {
      out.append(slashes * 2 + 1, L'\\');
      slashes = 0;
    } else {
      out.append(slashes, L'\\');
      slashes = 0;
    }
    if (c != L'\\') out.push_back(c);
  }
  out.append(slashes * 2, L'\\');
  out.push_back(L'"');
  return out;
}

// Starts the program with its standard output to `output`, its errors to
// `errors` and its input from `input` (the null device when none);
// `creationFlags` may give it a console of its own.
PROCESS_INFORMATION launch(const std::filesystem::path& program, const std::vector<std::string>& args,
                           const std::filesystem::path& folder, DWORD creationFlags, HANDLE output,
                           HANDLE input = nullptr, HANDLE errors = nullptr) {
  std::wstring commandLine = quoted(program.wstring());
  for (const auto& arg : args) commandLine += L" " + quoted(fromUtf8(arg));
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  const HANDLE null = CreateFileW(L"NUL", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                                  OPEN_EXISTING, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  // No handles at all: the program has those of its console.
  startup.dwFlags = output == INVALID_HANDLE_VALUE ? 0 : STARTF_USESTDHANDLES;
  startup.hStdInput = input != nullptr ? input : null;
  startup.hStdOutput = output != nullptr ? output : null;
  startup.hStdError = errors != nullptr ? errors : null;
  PROCESS_INFORMATION process{};
  const std::wstring workdir = folder.wstring();
  // Wine has once refused a start while other tests were starting theirs:
  // tried again, and the error said if it persists.
  BOOL started = FALSE;
  for (int attempt = 0; attempt < 3 && !started; ++attempt) {
    if (attempt > 0) Sleep(200);
    started = CreateProcessW(program.wstring().c_str(), commandLine.data(), nullptr, nullptr, TRUE, creationFlags,
                             nullptr, workdir.c_str(), &startup, &process);
  }
  const DWORD error = GetLastError();
  CloseHandle(null);
  if (!started) throw std::runtime_error("cannot start the program: error " + std::to_string(error));
  CloseHandle(process.hThread);
  return process;
}

// A pipe the program inherits one end of: the write end when the test reads.
void pipe(HANDLE& readEnd, HANDLE& writeEnd, bool testReads) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) throw std::runtime_error("pipe");
  SetHandleInformation(testReads ? readEnd : writeEnd, HANDLE_FLAG_INHERIT, 0);
}

// Runs the program to its end with its output on a pipe; with `untilPaused`,
// its input too, and `untilPaused` runs once it asks for a key.
ProgramResult start(const std::filesystem::path& program, const std::vector<std::string>& args,
                    const std::filesystem::path& folder, DWORD creationFlags,
                    const std::function<void()>& untilPaused = nullptr) {
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  HANDLE keys = nullptr;
  HANDLE typed = nullptr;
  HANDLE errors = nullptr;
  HANDLE errorsWritten = nullptr;
  pipe(readEnd, writeEnd, true);
  pipe(errors, errorsWritten, true);  // read once the output ends: a few lines at most
  if (untilPaused) pipe(keys, typed, false);
  const PROCESS_INFORMATION process = launch(program, args, folder, creationFlags, writeEnd, keys, errorsWritten);
  CloseHandle(writeEnd);
  CloseHandle(errorsWritten);
  if (keys != nullptr) CloseHandle(keys);

  ProgramResult result;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    result.output.append(buffer, got);
    if (typed != nullptr && result.output.find("Press any key") != std::string::npos) {
      untilPaused();
      CloseHandle(typed);  // the key
      typed = nullptr;
    }
  }
  if (typed != nullptr) CloseHandle(typed);
  CloseHandle(readEnd);
  while (ReadFile(errors, buffer, sizeof buffer, &got, nullptr) && got > 0) result.errors.append(buffer, got);
  CloseHandle(errors);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hProcess);
  result.status = static_cast<int>(status);
  // The C runtime writes "\r\n"; the tests compare lines.
  std::erase(result.output, '\r');
  std::erase(result.errors, '\r');
  return result;
}

}  // namespace

int startProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& folder) {
  const PROCESS_INFORMATION process = launch(program, args, folder, 0, nullptr);
  CloseHandle(process.hProcess);
  return static_cast<int>(process.dwProcessId);
}

void endProgram(int pid) {
  const HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return;  // already gone
  TerminateProcess(process, 1);
  WaitForSingleObject(process, INFINITE);
  CloseHandle(process);
}

ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder) {
  return start(program, args, folder, 0);
}

ProgramResult runUntilPaused(const std::filesystem::path& program, const std::vector<std::string>& args,
                             const std::filesystem::path& folder, const std::function<void()>& whilePaused) {
  return start(program, args, folder, 0, whilePaused);
}

namespace {

// Waits for a launched program for at most 30 s; -2 when it had to be ended.
int waitFor(const PROCESS_INFORMATION& process) {
  DWORD status = static_cast<DWORD>(-2);
  if (WaitForSingleObject(process.hProcess, 30000) == WAIT_OBJECT_0) {
    GetExitCodeProcess(process.hProcess, &status);
  } else {
    TerminateProcess(process.hProcess, static_cast<UINT>(-2));
    WaitForSingleObject(process.hProcess, INFINITE);
  }
  CloseHandle(process.hProcess);
  return static_cast<int>(status);
}

}  // namespace

int runDropped(const std::filesystem::path& program, const std::vector<std::string>& args,
               const std::filesystem::path& folder) {
  return waitFor(launch(program, args, folder, CREATE_NEW_CONSOLE, INVALID_HANDLE_VALUE));
}

int runHidden(const std::filesystem::path& program, const std::vector<std::string>& args,
              const std::filesystem::path& folder, bool withHandles) {
  if (!withHandles) return waitFor(launch(program, args, folder, CREATE_NO_WINDOW, INVALID_HANDLE_VALUE));
  const ProgramResult result = start(program, args, folder, CREATE_NO_WINDOW);
  return result.status;
}

ProgramResult runOnTerminal(const std::filesystem::path&, const std::vector<std::string>&,
                            const std::filesystem::path&, const std::string&) {
  ProgramResult none;
  none.status = -3;  // no terminal to drive here
  return none;
}

}  // namespace hush::test
