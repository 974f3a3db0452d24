// The console's handler runs on a thread of its own while the program goes
// on, so it reads only names set up before it may look at them.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <cwchar>
#include <iterator>

#include "platform/interruptions.h"

namespace hush {
namespace {

struct Slot {
  wchar_t name[32768];  // the longest path Windows knows
  volatile LONG inUse;
};

// A run has one temporary file at a time; a few slots spare.
Slot slots[4];

// Ctrl-C, Ctrl-Break, the console window closed, log-off, shut-down: the
// temporary file goes, then the default handler ends the process
// (STATUS_CONTROL_C_EXIT for Ctrl-C).
BOOL WINAPI onConsoleEvent(DWORD /*event*/) {
  for (Slot& slot : slots) {
    if (InterlockedCompareExchange(&slot.inUse, 1, 1) == 1) DeleteFileW(slot.name);
  }
  return FALSE;
}

}  // namespace

void catchInterruptions() { SetConsoleCtrlHandler(onConsoleEvent, TRUE); }

TempNameGuard::TempNameGuard(const NativeName& name, int /*folder: paths only here*/) : slot_(-1) {
  if (name.size() >= std::size(slots[0].name)) return;
  for (int i = 0; i < static_cast<int>(std::size(slots)); ++i) {
    if (slots[i].inUse) continue;
    std::wmemcpy(slots[i].name, name.c_str(), name.size() + 1);
    InterlockedExchange(&slots[i].inUse, 1);  // only now may the handler read the name
    slot_ = i;
    return;
  }
}

TempNameGuard::~TempNameGuard() {
  if (slot_ >= 0) InterlockedExchange(&slots[slot_].inUse, 0);
}

}  // namespace hush
