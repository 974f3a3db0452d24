// A file system that passes everything to the real one, counts every
// operation, and can make a chosen one fail, or run out of space after a
// given number of bytes: the way to test what a save does when the disk
// lets it down at any point.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/file_system.h"

namespace hush::test {

class FaultyFileSystem final : public FileSystem {
 public:
  explicit FaultyFileSystem(FileSystem& real = nativeFileSystem()) : real_(real) {}

  // Fails operation number `k` (counted from 1 after reset); 0 fails none.
  void failOperation(std::uint64_t k) { failAt_ = k; }
  // Fails every write once this many bytes have been written.
  void limitSpace(std::uint64_t bytes) { spaceLeft_ = bytes; }
  // Runs `action` just before operation number `k`, as another program
  // might act at that moment.
  void beforeOperation(std::uint64_t k, std::function<void()> action) {
    actionAt_ = k;
    action_ = std::move(action);
  }
  void reset() {
    count_ = 0;
    failAt_ = 0;
    spaceLeft_ = UINT64_MAX;
    log_.clear();
    actionAt_ = 0;
    action_ = nullptr;
  }
  std::uint64_t operations() const { return count_; }
  // The name of each operation so far, in order.
  const std::vector<std::string>& log() const { return log_; }

  // Counts one operation; false when it is the one to fail.
  bool allow(const char* name);
  bool takeSpace(std::uint64_t bytes);

  std::unique_ptr<File> openForReading(const Path& path) override;
  bool mayReplace(const Path& target) override;
  std::unique_ptr<TempFile> createTempBeside(const Path& target) override;
  bool syncFolderOf(const Path& path) override;
  std::optional<FileState> stateOf(const Path& path) override;
  std::optional<Path> resolveLinks(const Path& path) override;
  std::vector<FileName> namesOf(const std::vector<Path>& paths) override;

 private:
  FileSystem& real_;
  std::uint64_t count_ = 0;
  std::uint64_t failAt_ = 0;
  std::uint64_t spaceLeft_ = UINT64_MAX;
  std::vector<std::string> log_;
  std::uint64_t actionAt_ = 0;
  std::function<void()> action_;
};

}  // namespace hush::test
