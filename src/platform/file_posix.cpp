// Files on POSIX systems. A path unit stands for one byte of the native
// path, so any byte string a user typed (Latin-1, UTF-8 or neither) reaches
// the operating system exactly as it came.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <optional>
#include <string>

#include "platform/file_system.h"

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
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  std::optional<FileStamp> stamp() override {
    struct stat st {};
    if (::fstat(fd_, &st) != 0 || st.st_size < 0) return std::nullopt;
    return FileStamp{static_cast<std::uint64_t>(st.st_size),
                     static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                         static_cast<std::uint64_t>(st.st_mtim.tv_nsec)};
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

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    const auto native = toNativePath(path);
    if (!native || native->empty()) return nullptr;
    int fd;
    do {
      fd = ::open(native->c_str(), O_RDONLY | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) return nullptr;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {  // a folder is no document
      ::close(fd);
      return nullptr;
    }
    return std::make_unique<PosixFile>(fd);
  }

  std::unique_ptr<File> createTempBeside(const Path& target, Path& tempPath) override {
    const auto native = toNativePath(target);
    if (!native || native->empty()) return nullptr;
    std::string name = folderOf(*native) + ".hushmaker-XXXXXX.tmp";
    const int fd = ::mkostemps(name.data(), 4, O_CLOEXEC);
    if (fd < 0) return nullptr;

    struct stat st {};
    mode_t mode;
    if (::stat(native->c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      mode = st.st_mode & 07777;
      if (::fchown(fd, st.st_uid, st.st_gid) != 0) {
        // Not ours to give away; the copy keeps our ownership.
      }
    } else {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) {
      ::close(fd);
      ::unlink(name.c_str());
      return nullptr;
    }
    tempPath = widenPath(name.c_str());
    return std::make_unique<PosixFile>(fd);
  }

  bool replace(const Path& from, const Path& to) override {
    const auto source = toNativePath(from);
    const auto target = toNativePath(to);
    if (!source || !target || target->empty()) return false;
    if (::rename(source->c_str(), target->c_str()) != 0) return false;
    // Make the new directory entry durable too. Some file systems cannot
    // sync a directory; the rename itself has happened either way.
    const std::string folder = folderOf(*target);
    const int dir = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return true;
  }

  bool remove(const Path& path) override {
    const auto native = toNativePath(path);
    return native && ::unlink(native->c_str()) == 0;
  }

  std::optional<FileIdentity> identityOf(const Path& path) override {
    const auto native = toNativePath(path);
    struct stat st {};
    if (!native || native->empty() || ::stat(native->c_str(), &st) != 0) return std::nullopt;
    return FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)};
  }

  Path resolveLinks(const Path& path) override {
    const auto native = toNativePath(path);
    struct stat st {};
    if (!native || native->empty() || ::lstat(native->c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      return path;
    }
    char* real = ::realpath(native->c_str(), nullptr);
    if (real == nullptr) return path;  // a dangling link is replaced like a file
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
