#include "platform/temp_file_posix.h"

#include <dirent.h>
#include <fcntl.h>
#ifdef __linux__
#include <linux/fs.h>
#include <sys/ioctl.h>
#endif
#include <unistd.h>

#include <chrono>
#include <ctime>
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

constexpr char kTempPrefix[] = ".hushmaker-";
constexpr char kTempSuffix[] = ".tmp";
constexpr std::string_view kTempLetters = "abcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kTempLetterCount = 6;

// A name only a temporary file of ours has.
bool isTempName(const std::string& name) {
  const std::string prefix = kTempPrefix, suffix = kTempSuffix;
  return name.size() == prefix.size() + kTempLetterCount + suffix.size() && name.starts_with(prefix) &&
         name.ends_with(suffix) &&
         name.find_first_not_of(kTempLetters, prefix.size()) == name.size() - suffix.size();
}

// Every temporary file is locked for as long as its run lives, so that a
// later run can tell one whose run was killed. Where the file system keeps
// no locks, none is ever taken for abandoned.
bool lockAsOurs(int fd) {
  struct flock lock {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// Removes what killed runs left in `folder`: files named as ours are, that
// we may write, that no live run holds, untouched for a minute (a run locks
// its file the moment it is made).
void removeAbandoned(int folder) {
  Descriptor listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = listing ? ::fdopendir(listing.get()) : nullptr;
  if (entries == nullptr) return;
  listing.release();  // the listing's now
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(entries)) {
    if (isTempName(entry->d_name)) names.emplace_back(entry->d_name);
  }
  ::closedir(entries);
  constexpr std::time_t kUntouchedFor = 60;
  for (const std::string& name : names) {
    const Descriptor file(::openat(folder, name.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat st {};
    struct stat there {};
    if (!file || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode) ||
        st.st_mtime > std::time(nullptr) - kUntouchedFor || !lockAsOurs(file.get())) {
      continue;
    }
    // Still the file we hold, not one put in its place since.
    if (::fstatat(folder, name.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 &&
        stateFrom(there).identity == stateFrom(st).identity) {
      ::unlinkat(folder, name.c_str(), 0);
    }
  }
}

std::string randomName() {
  static std::uint64_t state = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
                               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  state = state * 6364136223846793005u + 1442695040888963407u;
  std::string name = kTempPrefix;
  for (std::size_t i = 0; i < kTempLetterCount; ++i) {
    name.push_back(kTempLetters[(state >> (16 + 5 * i)) % kTempLetters.size()]);
  }
  return name + kTempSuffix;
}

// A file with a fresh name in `folder`, created as `mode` says; the name
// is guarded from before it exists.
struct NamedFile {
  Descriptor fd;
  std::string name;
  std::unique_ptr<TempNameGuard> guard;
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
  }
  ~PosixTempFile() override {
    file_.close();
    if (!name_.empty() && ::unlinkat(place_.folder.get(), name_.c_str(), 0) != 0 && errno != ENOENT && complete_) {
      noteCopyLeftBehind(name_);
    }
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
