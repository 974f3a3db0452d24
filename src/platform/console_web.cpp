// The browser's console: the page shows every line, and nobody is ever
// waiting at a prompt that could hold the run.
#include "platform/console.h"

namespace hush {

void prepareProcess() {}

void pauseConsole(PauseAfter, bool) {}

bool startedOnAConsoleOfItsOwn() { return false; }

}  // namespace hush
