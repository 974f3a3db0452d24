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
  std::unique_ptr<File> createTempBeside(const Path& target, Path& tempPath) override {
    tempPath = target + u".tmp";
    if (files_.count(tempPath) != 0) return nullptr;
    auto node = std::make_shared<Node>(Node{{}, nextId_++});
    files_[tempPath] = node;
    return std::make_unique<MemoryFile>(node, true);
  }
  bool replace(const Path& from, const Path& to) override {
    auto found = files_.find(from);
    if (found == files_.end()) return false;
    auto node = found->second;
    files_.erase(found);
    files_[to] = node;
    return true;
  }
  bool remove(const Path& path) override { return files_.erase(path) != 0; }
  std::optional<FileIdentity> identityOf(const Path& path) override {
    auto found = files_.find(path);
    if (found == files_.end()) return std::nullopt;
    return FileIdentity{1, found->second->id};
  }
  Path resolveLinks(const Path& path) override { return path; }

 private:
  struct Node {
    Bytes bytes;
    std::uint64_t id;
  };

  class MemoryFile final : public File {
   public:
    MemoryFile(std::shared_ptr<Node> node, bool writable) : node_(std::move(node)), writable_(writable) {}
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

   private:
    std::shared_ptr<Node> node_;
    bool writable_;
  };

  std::map<Path, std::shared_ptr<Node>> files_;
  std::uint64_t nextId_ = 1;
};

}  // namespace hush::fuzzing
