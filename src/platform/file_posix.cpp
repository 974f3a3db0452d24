#include "platform/file_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include "platform/descriptor_posix.h"

namespace hush::posix {

PosixFile::~PosixFile() {
  if (fd_ >= 0) ::close(fd_);
}

bool PosixFile::readAt(std::uint64_t offset, std::span<std::uint8_t> into) {
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

bool PosixFile::write(std::span<const std::uint8_t> bytes) {
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

bool PosixFile::copyFrom(File& source, std::uint64_t offset, std::uint64_t length) {
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

std::optional<FileIdentity> PosixFile::identity() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return failed(std::nullopt);
  return stateFrom(st).identity;
}

std::optional<FileStamp> PosixFile::stamp() {
  struct stat st {};
  if (::fstat(fd_, &st) != 0) return failed(std::nullopt);
  return stateFrom(st).stamp;
}

bool PosixFile::sync() { return ::fsync(fd_) == 0 || failed(false); }

bool PosixFile::close() {
  const int fd = fd_;
  fd_ = -1;
  return fd >= 0 && (::close(fd) == 0 || failed(false));
}

}  // namespace hush::posix
