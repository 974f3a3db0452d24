#include "platform/interruptions.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "support/temp_folder.h"

namespace hush {
namespace {

// A child names a file for the handler and is interrupted: the file goes,
// and the child ends by the signal, as the shell expects (128 + N). A
// signal its parent set to be ignored (nohup) stays ignored: the child
// goes on, and its file stays.
TEST(Interruptions, RemoveTheNamedTempFileAndEndAsTheSignalWould) {
  test::TempFolder folder;
  for (const bool ignored : {false, true}) {
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM,
                             SIGPROF}) {
      const auto kept = folder / "kept.tmp";
      const auto named = folder / "named.tmp";
      test::writeFile(kept, {1});
      test::writeFile(named, {2});
      const pid_t child = ::fork();
      if (child == 0) {
        if (ignored) std::signal(signal, SIG_IGN);
        catchInterruptions();
        {
          const TempNameGuard forgotten(kept.string());  // its guard is gone before the signal
        }
        const TempNameGuard guard(named.string());
        ::raise(signal);
        ::_exit(0);
      }
      int raw = 0;
      ASSERT_EQ(::waitpid(child, &raw, 0), child);
      SCOPED_TRACE(std::to_string(signal) + (ignored ? ", ignored" : ""));
      EXPECT_EQ(WIFSIGNALED(raw) && WTERMSIG(raw) == signal, !ignored);
      EXPECT_EQ(std::filesystem::exists(named), ignored);
      EXPECT_TRUE(std::filesystem::exists(kept));
    }
  }
}

}  // namespace
}  // namespace hush
