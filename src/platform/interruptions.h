// Interruptions the process can see (Ctrl-C, a closed terminal or console
// window, a kill by any signal that can be caught, log-off) must not leave a
// temporary file behind.
// The file layer keeps the name of each temporary file here for as long as
// the file has one; the handler removes those files and then lets the
// process end as the interruption would have ended it.
#pragma once

#include <string>

namespace hush {

#ifdef _WIN32
using NativeName = std::wstring;
#else
using NativeName = std::string;
#endif

// Installs the handler; once per process, before any file is written.
void catchInterruptions();

// Keeps `name` for the handler until the guard goes; off Windows the name
// may be one inside the open folder `folder` rather than a path. A name too long for
// the guard's preallocated room is not kept (the file layer then has a
// nameless file or a short name; nothing is allocated when it matters).
class TempNameGuard {
 public:
  explicit TempNameGuard(const NativeName& name, int folder = kNoFolder);
  static constexpr int kNoFolder = -1;
  ~TempNameGuard();
  TempNameGuard(const TempNameGuard&) = delete;
  TempNameGuard& operator=(const TempNameGuard&) = delete;

 private:
  int slot_;
};

}  // namespace hush
