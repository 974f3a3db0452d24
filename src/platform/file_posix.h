// An open file on POSIX systems, by descriptor.
#pragma once

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include "platform/descriptor_posix.h"
#include "platform/file_system.h"

namespace hush::posix {

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}

  int fd() const { return fd_.get(); }

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    std::size_t done = 0;
    while (done < into.size()) {
      const ssize_t n = ::pread(fd(), into.data() + done, into.size() - done,
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
      const ssize_t n = ::write(fd(), bytes.data() + done, bytes.size() - done);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return writeFailed();
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
        const ssize_t n = ::copy_file_range(from->fd(), &in, fd(), nullptr,
                                            static_cast<std::size_t>(left), 0);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && left == length &&
            (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) {
          kernelCopy_ = false;  // not here: copy through user space from now on
          return File::copyFrom(source, offset, length);
        }
        if (n < 0) return writeFailed();
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
    if (::fstat(fd(), &st) != 0) return failed(std::nullopt);
    return stateFrom(st).identity;
  }

  std::optional<FileStamp> stamp() override {
    struct stat st {};
    if (::fstat(fd(), &st) != 0) return failed(std::nullopt);
    return stateFrom(st).stamp;
  }

  bool sync() override { return ::fsync(fd()) == 0 || failed(false); }

  bool close() override {
    const int fd = fd_.release();
    return fd >= 0 && (::close(fd) == 0 || failed(false));
  }
 private:
  // A write refused to a file open for writing is no question of rights:
  // when no block is left (FAT through FUSE then says EPERM), the disk is full.
  bool writeFailed() const {
    const int error = errno;
    struct statvfs space {};
    const bool full = (error == EPERM || error == EACCES) && ::fstatvfs(fd(), &space) == 0 && space.f_bavail == 0;
    return failed(false, full ? FileError::DiskFull : fileErrorOf(error));
  }

  Descriptor fd_;
  bool kernelCopy_ = true;
};

}  // namespace hush::posix
