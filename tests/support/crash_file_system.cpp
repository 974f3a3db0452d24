#include "support/crash_file_system.h"

#include <algorithm>
#include <cstring>

namespace hush::test {
namespace {

constexpr std::size_t kBlock = 4096;

template <typename Base>
class CrashFileOf : public Base {
 public:
  CrashFileOf(CrashFileSystem& disk, std::shared_ptr<CrashFileSystem::Inode> inode, bool writable)
      : disk_(disk), inode_(std::move(inode)), writable_(writable) {}

  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    const Bytes& bytes = inode_->current;
    if (!disk_.run() || offset > bytes.size() || into.size() > bytes.size() - offset) return false;
    if (!into.empty()) std::memcpy(into.data(), bytes.data() + offset, into.size());
    return true;
  }
  bool write(std::span<const std::uint8_t> bytes) override {
    if (!disk_.run() || !writable_) return false;
    inode_->current.insert(inode_->current.end(), bytes.begin(), bytes.end());
    ++inode_->version;
    return true;
  }
  std::optional<FileIdentity> identity() override {
    if (!disk_.run()) return std::nullopt;
    return FileIdentity{1, inode_->id};
  }
  std::optional<FileStamp> stamp() override {
    if (!disk_.run()) return std::nullopt;
    return FileStamp{inode_->current.size(), inode_->version};
  }
  bool sync() override {
    if (!disk_.run()) return false;
    inode_->durable = inode_->current;
    return true;
  }
  bool close() override { return disk_.run(); }

 protected:
  CrashFileSystem& disk_;
  std::shared_ptr<CrashFileSystem::Inode> inode_;
  bool writable_;
};

// Nameless until committed, as an unnamed temporary file is.
class CrashTempFile final : public CrashFileOf<TempFile> {
 public:
  using CrashFileOf::CrashFileOf;
  bool commit(const Path& target) override {
    if (!disk_.run()) return false;
    // Given a name of its own, then moved onto the target: two changes to
    // the folder, either of which a power cut may undo.
    disk_.link(u".temp", inode_);
    disk_.rename(u".temp", target);
    return true;
  }
};

// A block of unsynced data after the power came back: old, new, or new up
// to some byte and old after it.
void settleBlock(Bytes& out, const Bytes& before, const Bytes& after, std::size_t at, std::mt19937& random) {
  const std::size_t end = std::min(out.size(), at + kBlock);
  const auto byteOf = [](const Bytes& bytes, std::size_t i) { return i < bytes.size() ? bytes[i] : std::uint8_t{0}; };
  const int choice = static_cast<int>(random() % 3);
  const std::size_t tornAt = at + random() % (end - at + 1);
  for (std::size_t i = at; i < end; ++i) {
    const bool fresh = choice == 1 || (choice == 2 && i < tornAt);
    out[i] = fresh ? byteOf(after, i) : byteOf(before, i);
  }
}

Bytes settle(const CrashFileSystem::Inode& inode, std::mt19937& random) {
  if (inode.durable == inode.current) return inode.durable;
  Bytes out(random() % 2 == 0 ? inode.durable.size() : inode.current.size());
  for (std::size_t at = 0; at < out.size(); at += kBlock) settleBlock(out, inode.durable, inode.current, at, random);
  return out;
}

}  // namespace

void CrashFileSystem::put(const Path& name, Bytes bytes) {
  auto inode = newInode();
  inode->durable = bytes;
  inode->current = std::move(bytes);
  durableNames_[name] = inode;
  names_[name] = inode;
}

void CrashFileSystem::cutAfter(std::uint64_t k) {
  count_ = 0;
  cutAt_ = k;
}

bool CrashFileSystem::run() {
  if (powerLost_) return false;
  if (++count_ > cutAt_) {
    powerLost_ = true;
    return false;
  }
  return true;
}

void CrashFileSystem::apply(Names& names, const FolderChange& change) {
  if (change.from.empty()) {
    names[change.to] = change.inode;
    return;
  }
  const auto found = names.find(change.from);
  if (found == names.end()) return;
  auto inode = found->second;
  names.erase(found);
  names[change.to] = inode;
}

void CrashFileSystem::link(const Path& name, std::shared_ptr<Inode> inode) {
  pending_.push_back(FolderChange{{}, name, std::move(inode)});
  apply(names_, pending_.back());
}

void CrashFileSystem::rename(const Path& from, const Path& to) {
  pending_.push_back(FolderChange{from, to, nullptr});
  apply(names_, pending_.back());
}

std::map<Path, Bytes> CrashFileSystem::afterReboot(std::uint32_t seed) const {
  std::mt19937 random(seed);
  Names names = durableNames_;
  const std::size_t survive = random() % (pending_.size() + 1);
  for (std::size_t i = 0; i < survive; ++i) apply(names, pending_[i]);
  std::map<Path, Bytes> files;
  for (const auto& [name, inode] : names) files[name] = settle(*inode, random);
  return files;
}

std::map<Path, Bytes> CrashFileSystem::visible() const {
  std::map<Path, Bytes> files;
  for (const auto& [name, inode] : names_) files[name] = inode->current;
  return files;
}

std::unique_ptr<File> CrashFileSystem::openForReading(const Path& path) {
  const auto found = names_.find(path);
  if (!run() || found == names_.end()) return nullptr;
  return std::make_unique<CrashFileOf<File>>(*this, found->second, false);
}

bool CrashFileSystem::mayReplace(const Path& /*target*/) { return run(); }

std::unique_ptr<TempFile> CrashFileSystem::createTempBeside(const Path& /*target*/) {
  if (!run()) return nullptr;
  return std::make_unique<CrashTempFile>(*this, newInode(), true);
}

bool CrashFileSystem::syncFolderOf(const Path& /*path*/) {
  if (!run()) return false;
  durableNames_ = names_;
  pending_.clear();
  return true;
}

std::optional<FileState> CrashFileSystem::stateOf(const Path& path) {
  const auto found = names_.find(path);
  if (!run() || found == names_.end()) return std::nullopt;
  const Inode& inode = *found->second;
  return FileState{FileIdentity{1, inode.id}, FileStamp{inode.current.size(), inode.version}};
}

std::optional<Path> CrashFileSystem::resolveLinks(const Path& path) {
  if (!run()) return std::nullopt;
  return path;
}

}  // namespace hush::test
