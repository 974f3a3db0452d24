#include <unistd.h>  // for __GLIBC__
#if defined(__GLIBC__)
#include <malloc.h>
#endif

#include <csignal>
#include <cstdio>

#include "platform/console.h"
#include "platform/interruptions.h"

namespace hush {

void prepareProcess() {
  std::signal(SIGXFSZ, SIG_IGN);
  catchInterruptions();
#if defined(__GLIBC__)
  // A run makes and drops a few arrays of megabytes one after another (the
  // sorts, the lookup, the save's plan). Kept by the allocator once freed,
  // their pages serve the next instead of fresh ones from the system, each
  // a fault and a zeroing; a document out of order needs the most of them.
  // Only the records' own array, larger, still comes and goes whole.
  mallopt(M_MMAP_THRESHOLD, 32 << 20);
  mallopt(M_TRIM_THRESHOLD, 256 << 20);
#endif
}

void pauseConsole(PauseAfter /*reason*/, bool asked) {
  if (!asked) return;
  std::printf("Press Enter to continue . . .");
  std::fflush(stdout);
  for (int c = std::getchar(); c != '\n' && c != EOF; c = std::getchar()) {
  }
  std::printf("\n");
}

bool startedOnAConsoleOfItsOwn() { return false; }

}  // namespace hush
