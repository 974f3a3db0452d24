// Times commands side by side: each round runs every command once, in
// turn, so that all of them see the same machine noise. Prints, per
// command, the minimum, median and maximum wall time, the peak resident
// memory and the exit status.
//
// usage: time_runs <rounds> (<label> <prepare> <command>)...
//   <prepare> runs untimed before each timed run (for example removing the
//   last output); both are shell command lines.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Timed {
  double seconds = 0;
  long peakKiB = 0;
  int status = -1;
};

Timed runShell(const std::string& command) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child == 0) {
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  Timed timed;
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return timed;
  timed.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  timed.peakKiB = usage.ru_maxrss;
  timed.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  return timed;
}

struct Command {
  std::string label, prepare, command;
  std::vector<double> seconds;
  long peakKiB = 0;
  int status = -1;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || (argc - 2) % 3 != 0) {
    std::fprintf(stderr, "usage: time_runs <rounds> (<label> <prepare> <command>)...\n");
    return 2;
  }
  const int rounds = std::atoi(argv[1]);
  std::vector<Command> commands;
  for (int i = 2; i + 2 < argc; i += 3) commands.push_back({argv[i], argv[i + 1], argv[i + 2], {}, 0, -1});
  for (int round = 0; round < rounds; ++round) {
    for (Command& c : commands) {
      if (!c.prepare.empty()) runShell(c.prepare);
      const Timed timed = runShell(c.command);
      c.seconds.push_back(timed.seconds);
      c.peakKiB = std::max(c.peakKiB, timed.peakKiB);
      c.status = timed.status;
    }
  }
  std::printf("%-28s %10s %10s %10s %10s %6s\n", "command", "min s", "median s", "max s", "peak MiB", "exit");
  for (Command& c : commands) {
    std::sort(c.seconds.begin(), c.seconds.end());
    const std::size_t n = c.seconds.size();
    const double median = n % 2 ? c.seconds[n / 2] : (c.seconds[n / 2 - 1] + c.seconds[n / 2]) / 2;
    std::printf("%-28s %10.4f %10.4f %10.4f %10.1f %6d\n", c.label.c_str(), c.seconds.front(), median, c.seconds.back(),
                static_cast<double>(c.peakKiB) / 1024.0, c.status);
  }
  return 0;
}
