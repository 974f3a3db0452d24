// The handler may run at any instruction of the program, so it touches only
// preallocated memory and calls only async-signal-safe functions.
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <iterator>

#include "platform/interruptions.h"

namespace hush {
namespace {

struct Slot {
  char name[PATH_MAX + 1];
  int folder;  // the name is inside it; AT_FDCWD for a path
  volatile sig_atomic_t inUse;
};

// A run has one temporary file at a time; a few slots spare.
Slot slots[4];

constexpr int kEndingSignals[] = {SIGINT,  SIGTERM, SIGHUP,  SIGQUIT,   SIGUSR1, SIGUSR2,
                                  SIGALRM, SIGPIPE, SIGXCPU, SIGVTALRM, SIGPROF};

extern "C" void onInterruption(int signalNumber) {
  const int savedErrno = errno;
  for (Slot& slot : slots) {
    if (slot.inUse) ::unlinkat(slot.folder, slot.name, 0);
  }
  errno = savedErrno;
  // SA_RESETHAND has put back the default action; the signal, blocked while
  // we run, ends the process as it would have as soon as we return.
  ::raise(signalNumber);
}

}  // namespace

void catchInterruptions() {
  struct sigaction action {};
  action.sa_handler = onInterruption;
  action.sa_flags = SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  // Every signal whose default action ends the process, but those that
  // report a fault of the program itself (the handler could not trust
  // memory then) and SIGXFSZ, which the process ignores.
  for (const int signalNumber : kEndingSignals) {
    struct sigaction previous {};
    // A signal the parent told us to ignore (nohup) stays ignored.
    if (::sigaction(signalNumber, nullptr, &previous) == 0 && previous.sa_handler == SIG_IGN) continue;
    ::sigaction(signalNumber, &action, nullptr);
  }
}

TempNameGuard::TempNameGuard(const NativeName& name, int folder) : slot_(-1) {
  if (name.size() > PATH_MAX) return;
  for (int i = 0; i < static_cast<int>(std::size(slots)); ++i) {
    if (slots[i].inUse) continue;
    std::memcpy(slots[i].name, name.c_str(), name.size() + 1);
    slots[i].folder = folder == kNoFolder ? AT_FDCWD : folder;
    slots[i].inUse = 1;  // only now may the handler read the name
    slot_ = i;
    return;
  }
}

TempNameGuard::~TempNameGuard() {
  if (slot_ >= 0) slots[slot_].inUse = 0;
}

}  // namespace hush
