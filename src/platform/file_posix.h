// An open file on POSIX systems, by descriptor.
#pragma once

#include "platform/file_system.h"

namespace hush::posix {

class PosixFile final : public File {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override;
  PosixFile(const PosixFile&) = delete;
  PosixFile& operator=(const PosixFile&) = delete;

  int fd() const { return fd_; }

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override;
  bool write(std::span<const std::uint8_t> bytes) override;
  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override;
  std::optional<FileIdentity> identity() override;
  std::optional<FileStamp> stamp() override;
  bool sync() override;
  bool close() override;

 private:
  int fd_;
  bool kernelCopy_ = true;
};

}  // namespace hush::posix
