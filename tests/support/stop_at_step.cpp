// Loaded into the tool (LD_PRELOAD) to stop it at a chosen step of its
// work: the calls that change files or say something are counted, and
// just before call number HUSH_STOP_AT the process sends itself
// HUSH_STOP_SIGNAL. A sweep over every step stops a save at each of its
// moments, which random timing only ever samples.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/types.h>

#include <cstdarg>
#include <cstdlib>

namespace {

long stopAt = -1;
int stopSignal = 0;
long steps = 0;

void step() {
  if (stopAt < 0) {
    const char* at = std::getenv("HUSH_STOP_AT");
    const char* signal = std::getenv("HUSH_STOP_SIGNAL");
    stopAt = at ? std::atol(at) : 0;
    stopSignal = signal ? std::atoi(signal) : SIGKILL;
  }
  if (++steps == stopAt) ::raise(stopSignal);
}

template <typename Function>
Function real(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

}  // namespace

#define HUSH_STEP(ret, name, params, args)                   \
  extern "C" ret name params {                              \
    step();                                                 \
    static const auto next = real<ret(*) params>(#name);    \
    return next args;                                       \
  }

HUSH_STEP(ssize_t, write, (int fd, const void* b, size_t n), (fd, b, n))
HUSH_STEP(ssize_t, copy_file_range, (int i, off64_t* a, int o, off64_t* b, size_t n, unsigned f), (i, a, o, b, n, f))
HUSH_STEP(int, fsync, (int fd), (fd))
HUSH_STEP(int, fchmod, (int fd, mode_t m), (fd, m))
HUSH_STEP(int, fsetxattr, (int fd, const char* n, const void* v, size_t s, int f), (fd, n, v, s, f))
HUSH_STEP(int, linkat, (int a, const char* b, int c, const char* d, int f), (a, b, c, d, f))
HUSH_STEP(int, renameat, (int a, const char* b, int c, const char* d), (a, b, c, d))
HUSH_STEP(int, unlinkat, (int a, const char* b, int f), (a, b, f))

extern "C" int openat(int folder, const char* name, int flags, ...) {
  step();
  va_list rest;
  va_start(rest, flags);
  const auto mode = static_cast<mode_t>(va_arg(rest, unsigned));
  va_end(rest);
  static const auto next = real<int (*)(int, const char*, int, ...)>("openat");
  return next(folder, name, flags, mode);
}
