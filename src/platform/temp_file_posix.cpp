#include "platform/temp_file_posix.h"

#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_posix.h"
#include "platform/interruptions.h"
#include "platform/rights_posix.h"

namespace hush::posix {
namespace {

// Why a name could not be made in a folder that is open: one missing
// there is a name the folder will not take, and so is a new name refused
// to a file the folder just took (FAT through FUSE says EPERM for a
// character it reserves or a name too long).
FileError namingError(int error, bool newName = false) {
  const bool refused = error == ENOENT || (newName && (error == EPERM || error == EACCES));
  return refused ? FileError::NameNotAllowed : fileErrorOf(error);
}

constexpr std::string_view kTempLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempLetterCount = 6;

// A small text file of the system's, or nothing.
std::string readText(const std::string& path) {
  std::ifstream file(path);
  std::string text;
  std::getline(file, text, '\0');
  return text;
}

// When process `pid` started, in the system's clock ticks since boot: the
// 22nd field of its stat, after the name (in parentheses), the state and
// 18 numbers.
std::optional<unsigned long long> startOf(long pid) {
  const std::string stat = readText("/proc/" + std::to_string(pid) + "/stat");
  const auto name = stat.rfind(')');
  unsigned long long start = 0;
  constexpr const char* kStart = "%*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %*s %llu";
  if (name == std::string::npos || std::sscanf(stat.c_str() + name + 1, kStart, &start) != 1) return std::nullopt;
  return start;
}

// Who makes a temporary file, as its name says: this system (a key of its
// boot and of the process namespace, in which process ids mean something;
// 0 where there is no /proc to tell), the process, and when it started. A
// later run tells from it a file whose run has ended from one that is still
// written, through any view of the folder: locks are not seen through every
// one (a FUSE view such as bindfs, a network mount and the server's folder).
struct RunMark {
  unsigned system = 0;
  long pid = 0;
  unsigned long long start = 0;
};

const RunMark& ourMark() {
  static const RunMark mark = [] {
    const std::string boot = readText("/proc/sys/kernel/random/boot_id");
    std::error_code none;
    const std::string space = std::filesystem::read_symlink("/proc/self/ns/pid", none).string();
    const auto key = static_cast<unsigned>(std::hash<std::string>{}(boot + space));
    const long pid = ::getpid();
    return RunMark{boot.empty() ? 0 : key, pid, startOf(pid).value_or(0)};
  }();
  return mark;
}

// A temporary name of ours: ".hushmaker-SYSTEM-PID-START-LETTERS.tmp",
// SYSTEM in 8 hex digits, LETTERS 6 of kTempLetters.
std::string tempName(const RunMark& mark, const char* letters) {
  char name[96];
  std::snprintf(name, sizeof name, ".hushmaker-%08x-%ld-%llu-%s.tmp", mark.system, mark.pid, mark.start, letters);
  return name;
}

// The mark a name of ours carries; nothing for any other name (read back,
// the mark and letters must give the very same name).
std::optional<RunMark> markOf(const std::string& name) {
  RunMark mark;
  char letters[kTempLetterCount + 1] = {};
  const bool ours = std::sscanf(name.c_str(), ".hushmaker-%8x-%ld-%llu-%6[abcdefghijklmnopqrstuvwxyz0123456789]",
                                &mark.system, &mark.pid, &mark.start, letters) == 4 &&
                    std::strlen(letters) == kTempLetterCount && mark.pid > 0 && tempName(mark, letters) == name;
  return ours ? std::optional(mark) : std::nullopt;
}

// Whether the run that made a file of ours has surely ended: one of this
// system whose process is gone, or another now with its id. Of a run
// elsewhere (another machine, another container) nothing can be known, and
// only a file untouched for a day is taken for abandoned.
bool runEnded(const RunMark& mark, std::time_t lastWrite) {
  constexpr std::time_t kDay = 24 * 60 * 60;
  const RunMark& ours = ourMark();
  if (ours.system == 0 || mark.system != ours.system) return lastWrite < std::time(nullptr) - kDay;
  if (::kill(static_cast<pid_t>(mark.pid), 0) != 0) return errno == ESRCH;  // gone, or another's (alive)
  const auto start = startOf(mark.pid);
  return start && *start != mark.start;
}

// Every temporary file is locked for as long as it has a name, so that no
// run in the same view of its folder takes it for abandoned.
bool lockAsOurs(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// A second descriptor of the open file, which holds its lock once the
// file's own is closed: until its name is gone.
Descriptor lockHolder(int fd) { return Descriptor(::fcntl(fd, F_DUPFD_CLOEXEC, 0)); }

// Whether an open file holds what a save of ours writes: nothing yet, or a
// movie, which begins "CHN2". Anything else is somebody's own.
bool holdsAMovie(int fd, const struct stat& st) {
  char magic[4] = {};
  return st.st_size == 0 || (::pread(fd, magic, sizeof magic, 0) == sizeof magic && std::memcmp(magic, "CHN2", 4) == 0);
}

// Removes what killed runs left in `folder`: files with a name of ours,
// regular, that we may write, holding a movie, whose run has ended (above)
// and that no run holds locked.
void removeAbandoned(int folder) {
  for (const std::string& name : namesIn(folder)) {
    const auto mark = markOf(name);
    if (!mark) continue;
    const Descriptor file(::openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    struct stat there {};
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) || !holdsAMovie(file.get(), st) ||
        !runEnded(*mark, st.st_mtime) || !lockAsOurs(file.get())) {
      continue;
    }
    // Still the file we hold, not one put in its place since.
    if (::fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        stateFrom(there).identity == stateFrom(st).identity) {
      ::unlinkat(folder, name.c_str(), 0);
    }
  }
}

std::string randomLetters() {
  static std::uint64_t state = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
                               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  state = state * 6364136223846793005u + 1442695040888963407u;
  std::string letters;
  for (std::size_t i = 0; i < kTempLetterCount; ++i) letters.push_back(kTempLetters[(state >> (16 + 5 * i)) % kTempLetters.size()]);
  return letters;
}

std::string randomName() { return tempName(ourMark(), randomLetters().c_str()); }

// A file with a fresh name in `folder`, created as `mode` says; the name
// is guarded from before it exists.
struct NamedFile {
  Descriptor fd;
  std::string name;
  std::unique_ptr<TempNameGuard> guard;
  Descriptor holder;  // of its lock
};

std::optional<NamedFile> createNamed(int folder, mode_t mode) {
  for (int attempt = 0; attempt < 100; ++attempt) {
    NamedFile file;
    file.name = randomName();
    file.guard = std::make_unique<TempNameGuard>(file.name, folder);
    file.fd = Descriptor(retryInterrupted(
        [&] { return ::openat(folder, file.name.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, mode); }));
    if (file.fd) {
      lockAsOurs(file.fd.get());
      file.holder = lockHolder(file.fd.get());
      return std::optional<NamedFile>(std::move(file));
    }
    if (errno != EEXIST) return failed(std::nullopt, namingError(errno));
  }
  return failed(std::nullopt, FileError::Other);
}

// Links the unnamed file `fd` into `folder` as `name`. Through /proc any
// user may; AT_EMPTY_PATH, where /proc is missing, needs privileges but
// costs nothing to try.
int linkUnnamed(int fd, int folder, const std::string& name) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  int linked = ::linkat(AT_FDCWD, self.c_str(), folder, name.c_str(), AT_SYMLINK_FOLLOW);
  if (linked != 0 && errno == ENOENT) linked = ::linkat(fd, "", folder, name.c_str(), AT_EMPTY_PATH);
  return linked;
}

// Renames `from` to `to` in `folder` unless `to` is there (a fresh name:
// only another run could take it the moment between).
bool renameNew(int folder, const std::string& from, const std::string& to) {
  struct stat st {};
  return ::fstatat(folder, to.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 && errno == ENOENT &&
         ::renameat(folder, from.c_str(), folder, to.c_str()) == 0;
}

// The new file, beside the target. Where the file system allows it
// (O_TMPFILE) it has no name until the commit, so a process that dies
// while writing leaves nothing; elsewhere it is named from the start and
// removed if never committed.
class PosixTempFile final : public TempFileThrough<PosixFile> {
 public:
  PosixTempFile(Place place, Descriptor fd, std::optional<NamedFile> named, bool targetIsNew)
      : TempFileThrough(fd.release()), place_(std::move(place)), targetIsNew_(targetIsNew) {
    if (named) {
      name_ = std::move(named->name);
      guard_ = std::move(named->guard);
    }
    holder_ = named ? std::move(named->holder) : lockHolder(file_.fd());
  }
  ~PosixTempFile() override {
    file_.close();
    if (name_.empty() || ::unlinkat(place_.folder.get(), name_.c_str(), 0) == 0 || errno == ENOENT || !complete_) {
      return;
    }
    // A complete copy that cannot be removed is the user's now: under a
    // name no later run takes for one of ours, where the folder allows.
    const std::string kept = "hushmaker-copy-" + randomLetters() + ".3mm";
    noteCopyLeftBehind(renameNew(place_.folder.get(), name_, kept) ? kept : name_);
  }
  PosixTempFile(const PosixTempFile&) = delete;
  PosixTempFile& operator=(const PosixTempFile&) = delete;

  // Gives the file the rights of the target it was made beside.
  bool takeRightsOfTarget() { return carryRightsOfTarget(place_, file_.fd()); }

  bool commit(const Path& target) override {
    complete_ = true;  // written and synced
    auto destination = locate(target);
    if (!destination) return false;
    const int folder = destination->folder.get();
    const char* name = destination->name.c_str();
    if (name_.empty()) {
      // A target that did not exist gets its name in one step: no other
      // name ever exists, whatever ends the process.
      if (targetIsNew_) {
        if (linkUnnamed(file_.fd(), folder, destination->name) == 0) {
          if (file_.close()) return true;
          ::unlinkat(folder, name, 0);
          return false;
        }
        if (errno != EEXIST) return commitCopy(*destination);
      }
      // Replacing a file takes a name first, then the rename.
      if (!giveName()) return commitCopy(*destination);
    }
    if (!file_.close()) return false;
    if (::renameat(place_.folder.get(), name_.c_str(), folder, name) != 0) {
      return failed(false, namingError(errno, targetIsNew_));
    }
    name_.clear();  // it is the target's now
    guard_.reset();
    return true;
  }

 private:
  bool giveName() {
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = randomName();
      // From before it exists until it is the target.
      guard_ = std::make_unique<TempNameGuard>(name, place_.folder.get());
      if (linkUnnamed(file_.fd(), place_.folder.get(), name) == 0) {
        name_ = std::move(name);
        return true;
      }
      guard_.reset();
      if (errno != EEXIST) return false;
    }
    return false;
  }

  // Where the unnamed file cannot be linked at all: its bytes and rights
  // go to a named one, which is then renamed as usual.
  bool commitCopy(const Place& destination) {
    struct stat st {};
    if (::fstat(file_.fd(), &st) != 0) return failed(false);
    auto named = createNamed(place_.folder.get(), 0600);
    if (!named) return false;
    PosixFile copy(named->fd.release());
    const bool copied = copy.copyFrom(file_, 0, static_cast<std::uint64_t>(st.st_size)) &&
                        carryRights(AttributeSource{file_.fd(), {}}, st, copy.fd()) && copy.sync() && copy.close();
    if (copied && ::renameat(place_.folder.get(), named->name.c_str(), destination.folder.get(),
                             destination.name.c_str()) == 0) {
      file_.close();
      return true;
    }
    if (copied) failed(false, namingError(errno, targetIsNew_));
    ::unlinkat(place_.folder.get(), named->name.c_str(), 0);
    return false;
  }

  Place place_;
  bool targetIsNew_;
  bool complete_ = false;
  std::string name_;  // empty while the file has no name, and once committed
  std::unique_ptr<TempNameGuard> guard_;  // for as long as it has a name
  Descriptor holder_;  // of its lock, for as long as it may have a name
};

// Whether names in `folder` may be added but never removed (chattr +a):
// there a rename onto a file, or the removal of a temporary one, fails.
bool onlyAddsNames([[maybe_unused]] int folder) {
#ifdef FS_IOC_GETFLAGS
  const Descriptor open(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  int flags = 0;
  return open && ::ioctl(open.get(), FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_APPEND_FL) != 0;
#else
  return false;  // no such folder that we could tell
#endif
}

}  // namespace

std::unique_ptr<TempFile> createTempIn(Place place) {
  const int folder = place.folder.get();
  struct stat st {};
  const bool targetIsNew = ::fstatat(folder, place.name.c_str(), &st, 0) != 0;
  // A new target is created as any program creates a file (the umask and
  // the folder's default ACL decide); a replacement starts closed to
  // everybody and gets the target's rights.
  const mode_t mode = targetIsNew ? 0666 : 0600;
  std::optional<NamedFile> named;
  Descriptor fd;
#ifdef O_TMPFILE
  fd = Descriptor(retryInterrupted([&] { return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode); }));
#endif
  // Only a new target taken by an unnamed file, in one link, adds a name
  // and removes none; anything else would leave a file there for good.
  if ((!targetIsNew || !fd) && onlyAddsNames(folder)) return failed(nullptr, FileError::AddOnlyFolder);
  removeAbandoned(folder);
  if (fd) lockAsOurs(fd.get());  // before it may get a name
  if (!fd) {  // a file system without unnamed files: a named one
    named = createNamed(folder, mode);
    if (!named) return nullptr;
    fd = Descriptor(named->fd.release());
  }
  auto temp = std::make_unique<PosixTempFile>(std::move(place), std::move(fd), std::move(named), targetIsNew);
  if (!targetIsNew && !temp->takeRightsOfTarget()) return nullptr;
  return temp;
}

}  // namespace hush::posix
