// Files on POSIX systems. A path unit stands for one byte of the native
// path, so any byte string a user typed (Latin-1, UTF-8 or neither) reaches
// the operating system exactly as it came.
//
// Every file is reached through its folder, opened first: the calls then
// take a single name, so a path of any length the file system accepts
// works, and the temporary file, the target and the folder synced are
// surely in the same folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/interruptions.h"

namespace hush {
namespace {

FileError fileErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileError::NotFound;
    case EISDIR: return FileError::Folder;
    case EACCES:
    case EPERM: return FileError::AccessDenied;
    case ENOSPC:
    case EDQUOT: return FileError::DiskFull;
    case EFBIG: return FileError::TooLarge;
    case EROFS: return FileError::ReadOnlyDisk;
    case ENAMETOOLONG: return FileError::PathTooLong;
    case EIO: return FileError::DiskError;
    case ETXTBSY:
    case EBUSY: return FileError::InUse;
    default: return FileError::Other;
  }
}

// Notes why the call that just failed did, and gives `result`.
template <typename Result>
Result failed(Result result, FileError error = fileErrorOf(errno)) {
  noteFileError(error);
  return result;
}

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

int retryInterrupted(auto call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// A path taken apart: its folder, open, and the name inside it.
struct Place {
  Descriptor folder;
  std::string name;
  std::string folderText;  // as the path gave it: "" or ending in '/'
};

// Opens `text` as a folder to work in. A path too long for one call is
// walked a name at a time.
Descriptor openFolder(const std::string& text) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (text.empty()) return Descriptor(::open(".", kFlags));
  if (text.size() < PATH_MAX) return Descriptor(::open(text.c_str(), kFlags));
  Descriptor folder(::open(text[0] == '/' ? "/" : ".", kFlags));
  std::size_t at = 0;
  while (folder && at < text.size()) {
    const std::size_t end = std::min(text.find('/', at), text.size());
    if (end > at) folder = Descriptor(::openat(folder.get(), text.substr(at, end - at).c_str(), kFlags));
    at = end + 1;
  }
  return folder;
}

std::optional<Place> locate(const Path& path) {
  std::string native;
  native.reserve(path.size());
  for (const char16_t unit : path) {
    if (unit == 0 || unit > 0xFF) return failed(std::nullopt, FileError::BadName);  // no byte stands for it
    native.push_back(static_cast<char>(unit));
  }
  if (native.empty()) return failed(std::nullopt, FileError::NotFound);
  Place place;
  const auto slash = native.rfind('/');
  place.folderText = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  place.name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (place.name.empty()) place.name.push_back('.');  // "films/" names the folder itself
  place.folder = openFolder(place.folderText);
  if (!place.folder) return failed(std::nullopt);
  return place;
}

FileState stateFrom(const struct stat& st) {
  return FileState{
      FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
      FileStamp{static_cast<std::uint64_t>(st.st_size), static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                                                             static_cast<std::uint64_t>(st.st_mtim.tv_nsec)}};
}

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override {
    if (fd_ >= 0) ::close(fd_);
  }
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int fd() const { return fd_; }

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      const ssize_t n = ::pread(fd_, into.data() + done, into.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(false);
      if (n == 0) return false;  // the file ends early: changed, which the store tells
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(false);
      if (n == 0) return failed(false, FileError::DiskFull);
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override {
#ifdef __linux__
    if (auto* from = dynamic_cast<PosixFile*>(&source); from != nullptr && kernelCopy_) {
      off_t in = static_cast<off_t>(offset);
      std::uint64_t left = length;
      while (left > 0) {
        const ssize_t n = ::copy_file_range(from->fd_, &in, fd_, nullptr,
                                            static_cast<std::size_t>(left), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && left == length &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
          kernelCopy_ = false;  // not here: copy through user space from now on
          return File::copyFrom(source, offset, length);
        }
        if (n < 0) return failed(false);
        if (n == 0) return false;  // the source ends early
        left -= static_cast<std::uint64_t>(n);
      }
      return true;
    }
#endif
    return File::copyFrom(source, offset, length);
  }

  std::optional<FileIdentity> identity() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return failed(std::nullopt);
    return stateFrom(st).identity;
  }

  std::optional<FileStamp> stamp() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return failed(std::nullopt);
    return stateFrom(st).stamp;
  }

  bool sync() override { return ::fsync(fd_) == 0 || failed(false); }

  bool close() override {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && (::close(fd) == 0 || failed(false));
  }

 private:
  int fd_;
  bool kernelCopy_ = true;
};

// --- Rights ---------------------------------------------------------------

constexpr const char* kAccessAcl = "system.posix_acl_access";

// The extended attributes of a file, read through `fd`, or through `path`
// where `fd` was opened only to name the file.
struct AttributeSource {
  int fd;
  std::string path;  // "" to read through fd

  // The names (`name` null) or the value of one attribute; empty where
  // the file system keeps none.
  std::optional<std::vector<char>> get(const char* name) const {
    std::vector<char> value;
    for (int attempt = 0; attempt < 8; ++attempt) {
      ssize_t n = read(name, nullptr, 0);
      if (n < 0) return errno == ENOTSUP ? std::optional(std::vector<char>{}) : std::nullopt;
      value.resize(static_cast<std::size_t>(n));
      n = read(name, value.data(), value.size());
      if (n >= 0) {
        value.resize(static_cast<std::size_t>(n));
        return value;
      }
      if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew in between
    }
    return std::nullopt;
  }

 private:
  ssize_t read(const char* name, char* into, std::size_t size) const {
    if (name == nullptr) return path.empty() ? ::flistxattr(fd, into, size) : ::listxattr(path.c_str(), into, size);
    return path.empty() ? ::fgetxattr(fd, name, into, size) : ::getxattr(path.c_str(), name, into, size);
  }
};

// Gives `to` the owner, group, permission bits, access ACL and other
// extended attributes of the file `from` names. Rights are never widened:
// where the group cannot be kept, the group gets no rights; where anything
// else cannot be kept, this fails and says so.
bool carryRights(const AttributeSource& from, const struct stat& st, int to) {
  mode_t mode = st.st_mode & 07777;
  struct stat now {};
  if (::fchown(to, st.st_uid, st.st_gid) != 0 && ::fchown(to, static_cast<uid_t>(-1), st.st_gid) != 0) {
    // Not ours to give away: the file stays ours, with our group.
  }
  if (::fstat(to, &now) != 0) return failed(false);
  if (now.st_gid != st.st_gid) mode &= ~mode_t{070};
  if (::fchmod(to, mode) != 0) return failed(false, FileError::RightsNotKept);

  const auto names = from.get(nullptr);
  if (!names) return failed(false, FileError::RightsNotKept);
  bool hasAcl = false;
  for (std::size_t at = 0; at < names->size();) {
    const char* name = names->data() + at;
    at += std::strlen(name) + 1;
    hasAcl = hasAcl || std::strcmp(name, kAccessAcl) == 0;
    const auto value = from.get(name);
    if (!value) continue;  // gone since it was listed
    if (::fsetxattr(to, name, value->data(), value->size(), 0) == 0) continue;
    // One we may not set may already be right (a security label the
    // system gave the new file).
    const auto there = AttributeSource{to, {}}.get(name);
    if (!there || *there != *value) return failed(false, FileError::RightsNotKept);
  }
  // A new file may have taken an ACL from its folder's default: the target
  // had none, so neither may its replacement.
  if (!hasAcl && ::fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    return failed(false, FileError::RightsNotKept);
  }
  return true;
}

// Opens the target to read its rights; a file we may write but not read is
// named through /proc.
bool carryRightsOfTarget(const Place& target, int to) {
  Descriptor file(::openat(target.folder.get(), target.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  AttributeSource source{file.get(), {}};
  if (!file) {
    file = Descriptor(::openat(target.folder.get(), target.name.c_str(), O_PATH | O_CLOEXEC));
    if (!file) return failed(false);
    source = AttributeSource{file.get(), "/proc/self/fd/" + std::to_string(file.get())};
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return failed(false);
  return carryRights(source, st, to);
}

// --- The temporary file ---------------------------------------------------

std::string randomName() {
  static std::uint64_t state = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
                               static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
  state = state * 6364136223846793005u + 1442695040888963407u;
  static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  std::string name = ".hushmaker-";
  for (int i = 0; i < 6; ++i) name.push_back(kLetters[(state >> (16 + 5 * i)) % 36]);
  return name + ".tmp";
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
    if (file.fd) return std::optional<NamedFile>(std::move(file));
    if (errno != EEXIST) return failed(std::nullopt);
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
class PosixTempFile final : public TempFile {
 public:
  PosixTempFile(Place place, Descriptor fd, std::optional<NamedFile> named, bool targetIsNew)
      : place_(std::move(place)), file_(fd.release()), targetIsNew_(targetIsNew) {
    if (named) {
      name_ = std::move(named->name);
      guard_ = std::move(named->guard);
    }
  }
  ~PosixTempFile() override {
    file_.close();
    if (!name_.empty()) ::unlinkat(place_.folder.get(), name_.c_str(), 0);
  }
  PosixTempFile(const PosixTempFile&) = delete;
  PosixTempFile& operator=(const PosixTempFile&) = delete;

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override { return file_.readAt(offset, into); }
  bool write(std::span<const std::uint8_t> bytes) override { return file_.write(bytes); }
  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override {
    return file_.copyFrom(source, offset, length);
  }
  std::optional<FileIdentity> identity() override { return file_.identity(); }
  std::optional<FileStamp> stamp() override { return file_.stamp(); }
  bool sync() override { return file_.sync(); }
  bool close() override { return file_.close(); }

  // Gives the file the rights of the target it was made beside.
  bool takeRightsOfTarget() { return carryRightsOfTarget(place_, file_.fd()); }

  bool commit(const Path& target) override {
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
    if (::renameat(place_.folder.get(), name_.c_str(), folder, name) != 0) return failed(false);
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
    if (copied) failed(false);
    ::unlinkat(place_.folder.get(), named->name.c_str(), 0);
    return false;
  }

  Place place_;
  PosixFile file_;
  bool targetIsNew_;
  std::string name_;  // empty while the file has no name, and once committed
  std::unique_ptr<TempNameGuard> guard_;  // for as long as it has a name
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    const auto place = locate(path);
    if (!place) return nullptr;
    // Non-blocking, so that a pipe named as the input cannot hold us up;
    // only a regular file is read, and that in the usual blocking way.
    Descriptor fd(retryInterrupted([&] {
      return ::openat(place->folder.get(), place->name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }));
    if (!fd) return failed(nullptr);
    struct stat st {};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (::fstat(fd.get(), &st) != 0 || flags < 0) return failed(nullptr);
    if (!S_ISREG(st.st_mode)) return failed(nullptr, S_ISDIR(st.st_mode) ? FileError::Folder : FileError::NotAFile);
    if (::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return failed(nullptr);
    return std::make_unique<PosixFile>(fd.release());
  }

  bool mayReplace(const Path& target) override {
    const auto place = locate(target);
    if (!place) return false;
    const int folder = place->folder.get();
    const char* name = place->name.c_str();
    struct stat st {};
    if (::fstatat(folder, name, &st, 0) != 0) {
      const int error = errno;
      if (error != ENOENT) return failed(false, fileErrorOf(error));
      // Nothing there may be created; a link to nothing is left alone, as
      // cp leaves it, rather than replaced by a file.
      if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return failed(false, FileError::LinkToNothing);
      return true;
    }
    if (!S_ISREG(st.st_mode)) return failed(false, S_ISDIR(st.st_mode) ? FileError::Folder : FileError::NotAFile);
    // Asked as the user we act for: root keeps root's rights.
    if (::faccessat(folder, name, W_OK, AT_EACCESS) == 0) return true;
    if (errno != EACCES) return failed(false);
    return failed(false, st.st_uid == ::geteuid() ? FileError::WriteProtected : FileError::OthersFile);
  }

  std::unique_ptr<TempFile> createTempBeside(const Path& target) override {
    auto place = locate(target);
    if (!place) return nullptr;
    const int folder = place->folder.get();
    struct stat st {};
    const bool targetIsNew = ::fstatat(folder, place->name.c_str(), &st, 0) != 0;
    // A new target is created as any program creates a file (the umask and
    // the folder's default ACL decide); a replacement starts closed to
    // everybody and gets the target's rights.
    const mode_t mode = targetIsNew ? 0666 : 0600;
    std::optional<NamedFile> named;
    Descriptor fd;
#ifdef O_TMPFILE
    fd = Descriptor(retryInterrupted([&] { return ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, mode); }));
#endif
    if (!fd) {  // a file system without unnamed files: a named one
      named = createNamed(folder, mode);
      if (!named) return nullptr;
      fd = Descriptor(named->fd.release());
    }
    auto temp = std::make_unique<PosixTempFile>(std::move(*place), std::move(fd), std::move(named), targetIsNew);
    if (!targetIsNew && !temp->takeRightsOfTarget()) return nullptr;
    return temp;
  }

  bool syncFolderOf(const Path& path) override {
    const auto place = locate(path);
    if (!place) return false;
    const Descriptor folder(::openat(place->folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder && ::fsync(folder.get()) == 0;
  }

  std::optional<FileState> stateOf(const Path& path) override {
    const auto place = locate(path);
    struct stat st {};
    if (!place) return std::nullopt;
    if (::fstatat(place->folder.get(), place->name.c_str(), &st, 0) != 0) return failed(std::nullopt);
    return stateFrom(st);
  }

  // Follows the links one at a time, so that a path of any length works.
  Path resolveLinks(const Path& path) override {
    Path current = path;
    for (int hop = 0; hop < 40; ++hop) {
      const auto place = locate(current);
      struct stat st {};
      if (!place || ::fstatat(place->folder.get(), place->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 ||
          !S_ISLNK(st.st_mode)) {
        return current;
      }
      std::string to(static_cast<std::size_t>(st.st_size) + 1, '\0');
      const ssize_t n = ::readlinkat(place->folder.get(), place->name.c_str(), to.data(), to.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= to.size()) return path;
      to.resize(static_cast<std::size_t>(n));
      if (to[0] != '/') to = place->folderText + to;
      const Path next = widenPath(to.c_str());
      struct stat there {};
      const auto nextPlace = locate(next);
      if (!nextPlace || ::fstatat(nextPlace->folder.get(), nextPlace->name.c_str(), &there, AT_SYMLINK_NOFOLLOW) != 0) {
        return path;  // the link leads nowhere: left for mayReplace to refuse
      }
      current = next;
    }
    return path;  // a loop of links, which mayReplace refuses
  }
};

}  // namespace

FileSystem& nativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
