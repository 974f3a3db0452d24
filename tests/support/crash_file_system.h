// A file system in memory that can lose power after any operation, in the
// manner of a real disk: data written but not synced may be lost, kept or
// torn block by block, and changes to the folder not yet synced may be
// undone (some first part of them survives). One folder holds every file.
// Without a cut it is simply files in memory, which the fuzzers use too.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <random>
#include <vector>

#include "platform/file_system.h"
#include "support/document_builder.h"

namespace hush::test {

class CrashFileSystem final : public FileSystem {
 public:
  struct Inode {
    Bytes durable;  // what the disk holds for sure
    Bytes current;  // what the running system sees
    std::uint64_t id = 0;
    std::uint64_t version = 0;
  };
  using Names = std::map<Path, std::shared_ptr<Inode>>;

  // A file that is on the disk for sure.
  void put(const Path& name, Bytes bytes);
  // The power goes after `k` more operations: every later one fails and
  // changes nothing. Counting starts again from here.
  void cutAfter(std::uint64_t k);
  std::uint64_t operations() const { return count_; }
  bool powerLost() const { return powerLost_; }
  // The files as they are found after the power comes back, what was left
  // open settled at random by `seed`.
  std::map<Path, Bytes> afterReboot(std::uint32_t seed) const;
  // The files as the running system sees them.
  std::map<Path, Bytes> visible() const;

  std::unique_ptr<File> openForReading(const Path& path) override;
  bool mayReplace(const Path& target) override;
  std::unique_ptr<TempFile> createTempBeside(const Path& target) override;
  bool syncFolderOf(const Path& path) override;
  std::optional<FileState> stateOf(const Path& path) override;
  std::optional<Path> resolveLinks(const Path& path) override;

  // For the files: counts one operation; false once the power is gone.
  bool run();
  // A change to the folder, seen at once, durable at the next folder sync.
  void link(const Path& name, std::shared_ptr<Inode> inode);
  void rename(const Path& from, const Path& to);
  std::shared_ptr<Inode> newInode() { return std::make_shared<Inode>(Inode{{}, {}, nextId_++, 0}); }

 private:
  struct FolderChange {
    Path from;  // empty for a new link
    Path to;
    std::shared_ptr<Inode> inode;
  };
  static void apply(Names& names, const FolderChange& change);

  Names durableNames_;
  Names names_;
  std::vector<FolderChange> pending_;
  std::uint64_t count_ = 0;
  std::uint64_t cutAt_ = UINT64_MAX;
  bool powerLost_ = false;
  std::uint64_t nextId_ = 1;
};

}  // namespace hush::test
