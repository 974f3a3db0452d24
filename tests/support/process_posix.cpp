#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "support/process.h"

namespace hush::test {
namespace {

std::vector<char*> argvOf(const std::filesystem::path& program, const std::vector<std::string>& args,
                          std::vector<std::string>& storage) {
  storage.assign(1, program.string());
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (auto& s : storage) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

int waitFor(pid_t child) {
  int raw = 0;
  while (::waitpid(child, &raw, 0) < 0) {
  }
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
}

std::string drain(int fd) {
  std::string out;
  char buffer[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    out.append(buffer, static_cast<std::size_t>(n));
  }
  return out;
}

}  // namespace

ProgramResult runProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                         const std::filesystem::path& folder) {
  std::vector<std::string> storage;
  auto argv = argvOf(program, args, storage);
  int out[2];
  std::FILE* errors = std::tmpfile();
  if (::pipe(out) != 0 || errors == nullptr) throw std::runtime_error("pipe");
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(::fileno(errors), STDERR_FILENO);
    ::close(out[0]);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(out[1]);
  ProgramResult result;
  result.output = drain(out[0]);
  ::close(out[0]);
  result.status = waitFor(child);
  ::lseek(::fileno(errors), 0, SEEK_SET);
  result.errors = drain(::fileno(errors));
  std::fclose(errors);
  return result;
}

int startProgram(const std::filesystem::path& program, const std::vector<std::string>& args,
                 const std::filesystem::path& folder) {
  std::vector<std::string> storage;
  auto argv = argvOf(program, args, storage);
  const pid_t child = ::fork();
  if (child == 0) {
    const int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  return child;
}

int stopProgram(int pid, int signal) {
  ::kill(pid, signal);
  return waitFor(pid);
}

ProgramResult runOnTerminal(const std::filesystem::path& program, const std::vector<std::string>& args,
                            const std::filesystem::path& folder, const std::string& typed) {
  std::vector<std::string> storage;
  auto argv = argvOf(program, args, storage);
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0) throw std::runtime_error("no terminal");
  const std::string terminal = ::ptsname(master);
  const pid_t child = ::fork();
  if (child == 0) {
    ::setsid();
    const int slave = ::open(terminal.c_str(), O_RDWR);
    ::dup2(slave, STDIN_FILENO);
    ::close(master);
    if (::chdir(folder.c_str()) != 0) ::_exit(126);
    ::dup2(slave, STDOUT_FILENO);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ProgramResult result;
  // Read until the prompt shows, then answer it; give up after 10 s.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  bool answered = false;
  while (std::chrono::steady_clock::now() < deadline) {
    // Until the child opens its side, reading fails; that is no end.
    pollfd p{master, POLLIN, 0};
    if (::poll(&p, 1, 20) > 0) {
      char buffer[1024];
      const ssize_t n = ::read(master, buffer, sizeof buffer);
      if (n > 0) result.output.append(buffer, static_cast<std::size_t>(n));
    }
    if (!answered && result.output.find(". . .") != std::string::npos) {
      if (::write(master, typed.data(), typed.size()) < 0) break;
      answered = true;
    }
    int raw = 0;
    if (::waitpid(child, &raw, WNOHANG) == child) {
      for (char buffer[1024];;) {  // whatever is still on its way
        pollfd rest{master, POLLIN, 0};
        if (::poll(&rest, 1, 50) <= 0) break;
        const ssize_t n = ::read(master, buffer, sizeof buffer);
        if (n <= 0) break;
        result.output.append(buffer, static_cast<std::size_t>(n));
      }
      result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
      ::close(master);
      return result;
    }
  }
  ::kill(child, SIGKILL);
  waitFor(child);
  ::close(master);
  result.status = -2;  // still waiting when time ran out
  return result;
}

}  // namespace hush::test
