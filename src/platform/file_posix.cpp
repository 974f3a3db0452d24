// Files on POSIX systems. A path unit stands for one byte of the native
// path, so any byte string a user typed (Latin-1, UTF-8 or neither) reaches
// the operating system exactly as it came.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/interruptions.h"

namespace hush {
namespace {

std::optional<std::string> toNativePath(const Path& path) {
  std::string native;
  native.reserve(path.size());
  for (const char16_t unit : path) {
    if (unit == 0 || unit > 0xFF) return std::nullopt;  // no byte stands for it
    native.push_back(static_cast<char>(unit));
  }
  return native;
}

std::string folderOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return {};
  return path.substr(0, slash + 1);
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

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      const ssize_t n = ::pread(fd_, into.data() + done, into.size() - done,
                                static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;  // error, or the file ends early
      done += static_cast<std::size_t>(n);
    }
    return true;
  }

  bool write(std::span<const std::uint8_t> bytes) override {
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(fd_, bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
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
        if (n <= 0) return false;
        left -= static_cast<std::uint64_t>(n);
      }
      return true;
    }
#endif
    return File::copyFrom(source, offset, length);
  }

  std::optional<FileIdentity> identity() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return stateFrom(st).identity;
  }

  std::optional<FileStamp> stamp() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0) return std::nullopt;
    return stateFrom(st).stamp;
  }

  bool sync() override { return ::fsync(fd_) == 0; }

  bool close() override {
    const int fd = fd_;
    fd_ = -1;
    return fd >= 0 && ::close(fd) == 0;
  }

 private:
  int fd_;
  bool kernelCopy_ = true;
};

std::string folderPath(const std::string& path) {
  const std::string folder = folderOf(path);
  return folder.empty() ? std::string(".") : folder;
}

// The permission bits (and owner, when we may give it) a replacement of
// `target` should have: those of the file it replaces, or those of any new
// file.
bool takeModeOf(int fd, const std::string& target) {
  struct stat st {};
  mode_t mode;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    mode = st.st_mode & 07777;
    if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
      // Not ours to give away; the copy keeps our ownership.
    }
  } else {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    mode = 0666 & ~mask;
  }
  return ::fchmod(fd, mode) == 0;
}

// A temporary file. Where the file system allows it (O_TMPFILE) it has no
// name until commit, so nothing can be left behind by a process that dies
// while writing it; elsewhere it is named from the start and removed if
// never committed.
class PosixTempFile final : public TempFile {
 public:
  // `prefix` is the target's folder as a path prefix ("" or "dir/").
  PosixTempFile(int fd, std::string prefix, std::string name)
      : file_(fd), fd_(fd), prefix_(std::move(prefix)), name_(std::move(name)) {
    if (!name_.empty()) guard_.emplace(name_);
  }
  ~PosixTempFile() override {
    file_.close();
    if (!name_.empty()) ::unlink(name_.c_str());
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

  bool commit(const Path& target) override {
    const auto native = toNativePath(target);
    if (!native || native->empty() || (name_.empty() && !giveName())) return false;
    if (!file_.close()) return false;
    if (::rename(name_.c_str(), native->c_str()) != 0) return false;
    name_.clear();  // it is the target's now
    guard_.reset();
    return true;
  }

 private:
  // Links the unnamed file into its folder under a fresh name.
  bool giveName() {
    const std::string descriptor = "/proc/self/fd/" + std::to_string(fd_);
    for (int attempt = 0; attempt < 100; ++attempt) {
      std::string name = prefix_ + ".hushmaker-" + randomSuffix() + ".tmp";
      guard_.emplace(name);  // from before it exists until it is the target
      // Through /proc any user may link the file; AT_EMPTY_PATH where
      // /proc is missing needs privileges, but costs nothing to try.
      int linked = ::linkat(AT_FDCWD, descriptor.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
      if (linked != 0 && errno == ENOENT) linked = ::linkat(fd_, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
      if (linked == 0) {
        name_ = std::move(name);
        return true;
      }
      const int error = errno;
      guard_.reset();
      if (error != EEXIST) return false;
    }
    return false;
  }

  static std::string randomSuffix() {
    static std::uint64_t state = static_cast<std::uint64_t>(::getpid()) * 0x9E3779B97F4A7C15u ^
                                 static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    state = state * 6364136223846793005u + 1442695040888963407u;
    static constexpr char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::string suffix;
    for (int i = 0; i < 6; ++i) suffix.push_back(kLetters[(state >> (16 + 5 * i)) % 36]);
    return suffix;
  }

  PosixFile file_;
  int fd_;
  std::string prefix_;
  std::string name_;  // empty while the file has no name, and once committed
  std::optional<TempNameGuard> guard_;  // for as long as it has a name
};

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    const auto native = toNativePath(path);
    if (!native || native->empty()) return nullptr;
    int fd;
    // Non-blocking, so that a pipe named as the input cannot hold us up;
    // only a regular file is read, and that in the usual blocking way.
    do {
      fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st {};
    const int flags = ::fcntl(fd, F_GETFL);
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || flags < 0 ||
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  bool mayReplace(const Path& target) override {
    const auto native = toNativePath(target);
    if (!native || native->empty()) return false;
    struct stat st {};
    // Nothing there may be created; a link to nothing is left alone, as cp
    // leaves it, rather than replaced by a file.
    if (::stat(native->c_str(), &st) != 0) return errno == ENOENT && ::lstat(native->c_str(), &st) != 0;
    // Asked as the user we act for: root keeps root's rights.
    return S_ISREG(st.st_mode) && ::faccessat(AT_FDCWD, native->c_str(), W_OK, AT_EACCESS) == 0;
  }

  std::unique_ptr<TempFile> createTempBeside(const Path& target) override {
    const auto native = toNativePath(target);
    if (!native || native->empty()) return nullptr;
    const std::string prefix = folderOf(*native);
    std::string name;
    int fd = -1;
#ifdef O_TMPFILE
    fd = ::open(folderPath(*native).c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd < 0) {  // a file system without unnamed files: a named one
      name = prefix + ".hushmaker-XXXXXX.tmp";
      fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
      if (fd < 0) return nullptr;
    }
    auto temp = std::make_unique<PosixTempFile>(fd, prefix, std::move(name));
    if (!takeModeOf(fd, *native)) return nullptr;
    return temp;
  }

  bool syncFolderOf(const Path& path) override {
    const auto native = toNativePath(path);
    if (!native) return false;
    const int dir = ::open(folderPath(*native).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir < 0) return false;
    const bool synced = ::fsync(dir) == 0;
    ::close(dir);
    return synced;
  }

  std::optional<FileState> stateOf(const Path& path) override {
    const auto native = toNativePath(path);
    struct stat st {};
    if (!native || native->empty() || ::stat(native->c_str(), &st) != 0) return std::nullopt;
    return stateFrom(st);
  }

  Path resolveLinks(const Path& path) override {
    const auto native = toNativePath(path);
    struct stat st {};
    if (!native || native->empty() || ::lstat(native->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      return path;
    }
    char* real = ::realpath(native->c_str(), nullptr);
    if (real == nullptr) return path;  // a link to nothing, which mayReplace refuses
    Path resolved = widenPath(real);
    std::free(real);
    return resolved;
  }
};

}  // namespace

FileSystem& nativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
