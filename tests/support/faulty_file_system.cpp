#include "support/faulty_file_system.h"

#include "platform/file_error.h"

namespace hush::test {
namespace {

// Counts and fails the operations of a file, a temporary one included.
template <typename Base>
class FaultyFile : public Base {
 public:
  FaultyFile(std::unique_ptr<Base> real, FaultyFileSystem& owner) : real_(std::move(real)), owner_(owner) {}

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    return owner_.allow("read") && real_->readAt(offset, into);
  }
  bool write(std::span<const std::uint8_t> bytes) override {
    if (!owner_.allow("write")) return false;
    if (!owner_.takeSpace(bytes.size())) {
      // A full disk takes what fits, then refuses.
      return false;
    }
    return real_->write(bytes);
  }
  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override {
    if (!owner_.allow("copy") || !owner_.takeSpace(length)) return false;
    auto* faulty = dynamic_cast<FaultyFile<File>*>(&source);
    return real_->copyFrom(faulty != nullptr ? faulty->real() : source, offset, length);
  }
  std::optional<FileIdentity> identity() override {
    if (!owner_.allow("identity")) return std::nullopt;
    return real_->identity();
  }
  std::optional<FileStamp> stamp() override {
    if (!owner_.allow("stamp")) return std::nullopt;
    return real_->stamp();
  }
  bool sync() override { return owner_.allow("sync") && real_->sync(); }
  bool close() override {
    const bool closed = real_->close();  // a failed close still closes
    return owner_.allow("close") && closed;
  }

  File& real() { return *real_; }

 protected:
  std::unique_ptr<Base> real_;
  FaultyFileSystem& owner_;
};

class FaultyTempFile final : public FaultyFile<TempFile> {
 public:
  using FaultyFile::FaultyFile;
  bool commit(const Path& target) override { return owner_.allow("commit") && real_->commit(target); }
};

}  // namespace

bool FaultyFileSystem::allow(const char* name) {
  ++count_;
  if (count_ == actionAt_ && action_) action_();
  log_.emplace_back(name);
  // A failure says why, as the system's own would.
  if (count_ == failAt_) noteFileError(FileError::DiskError);
  return count_ != failAt_;
}

bool FaultyFileSystem::takeSpace(std::uint64_t bytes) {
  if (bytes > spaceLeft_) {
    noteFileError(FileError::DiskFull);
    return false;
  }
  spaceLeft_ -= bytes;
  return true;
}

std::unique_ptr<File> FaultyFileSystem::openForReading(const Path& path) {
  if (!allow("open")) return nullptr;
  auto file = real_.openForReading(path);
  return file ? std::make_unique<FaultyFile<File>>(std::move(file), *this) : nullptr;
}

bool FaultyFileSystem::mayReplace(const Path& target) { return allow("check") && real_.mayReplace(target); }

std::unique_ptr<TempFile> FaultyFileSystem::createTempBeside(const Path& target) {
  if (!allow("create")) return nullptr;
  auto file = real_.createTempBeside(target);
  return file ? std::make_unique<FaultyTempFile>(std::move(file), *this) : nullptr;
}

bool FaultyFileSystem::syncFolderOf(const Path& path) { return allow("syncfolder") && real_.syncFolderOf(path); }

std::optional<FileState> FaultyFileSystem::stateOf(const Path& path) {
  if (!allow("state")) return std::nullopt;
  return real_.stateOf(path);
}

std::optional<Path> FaultyFileSystem::resolveLinks(const Path& path) {
  if (!allow("resolve")) return std::nullopt;
  return real_.resolveLinks(path);
}

std::vector<FileName> FaultyFileSystem::namesOf(const std::vector<Path>& paths) { return real_.namesOf(paths); }

}  // namespace hush::test
