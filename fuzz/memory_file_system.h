// Files kept in memory, so that a fuzzer can load and save documents
// thousands of times a second without touching the disk.
#pragma once

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "platform/file_system.h"

namespace hush::fuzzing {

class MemoryFileSystem final : public FileSystem {
 public:
  using Bytes = std::vector<std::uint8_t>;

  void put(const Path& path, Bytes bytes) { files_[path] = std::make_shared<Node>(Node{std::move(bytes), nextId_++}); }
  const Bytes* get(const Path& path) const {
    auto found = files_.find(path);
    return found == files_.end() ? nullptr : &found->second->bytes;
  }
  std::size_t fileCount() const { return files_.size(); }
  void clear() { files_.clear(); }

  std::unique_ptr<File> openForReading(const Path& path) override {
    auto found = files_.find(path);
    if (found == files_.end()) return nullptr;
    return std::make_unique<MemoryFile>(found->second, false);
  }
  bool mayReplace(const Path& /*target*/) override { return true; }
  // A temporary file has no name until it is committed.
  std::unique_ptr<TempFile> createTempBeside(const Path& /*target*/) override {
    return std::make_unique<MemoryTempFile>(std::make_shared<Node>(Node{{}, nextId_++}), files_);
  }
  bool syncFolderOf(const Path& /*path*/) override { return true; }
  std::optional<FileState> stateOf(const Path& path) override {
    auto found = files_.find(path);
    if (found == files_.end()) return std::nullopt;
    return FileState{FileIdentity{1, found->second->id}, FileStamp{found->second->bytes.size(), 0}};
  }
  Path resolveLinks(const Path& path) override { return path; }

 private:
  struct Node {
    Bytes bytes;
    std::uint64_t id;
  };

  using Files = std::map<Path, std::shared_ptr<Node>>;

  template <typename Base>
  class MemoryFileOf : public Base {
   public:
    MemoryFileOf(std::shared_ptr<Node> node, bool writable) : node_(std::move(node)), writable_(writable) {}
    bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
      const Bytes& bytes = node_->bytes;
      if (offset > bytes.size() || into.size() > bytes.size() - offset) return false;
      if (!into.empty()) std::memcpy(into.data(), bytes.data() + offset, into.size());
      return true;
    }
    bool write(std::span<const std::uint8_t> bytes) override {
      if (!writable_) return false;
      node_->bytes.insert(node_->bytes.end(), bytes.begin(), bytes.end());
      return true;
    }
    std::optional<FileIdentity> identity() override { return FileIdentity{1, node_->id}; }
    std::optional<FileStamp> stamp() override { return FileStamp{node_->bytes.size(), 0}; }
    bool sync() override { return true; }
    bool close() override { return true; }

   protected:
    std::shared_ptr<Node> node_;
    bool writable_;
  };
  using MemoryFile = MemoryFileOf<File>;

  class MemoryTempFile final : public MemoryFileOf<TempFile> {
   public:
    MemoryTempFile(std::shared_ptr<Node> node, Files& files) : MemoryFileOf(std::move(node), true), files_(files) {}
    bool commit(const Path& target) override {
      files_[target] = node_;
      return true;
    }

   private:
    Files& files_;
  };

  Files files_;
  std::uint64_t nextId_ = 1;
};

}  // namespace hush::fuzzing
