// The one seam between the store and the operating system's files.
//
// Everything the store does to a file goes through these two interfaces, so
// that each platform has one implementation (file_system_posix.cpp,
// file_windows.cpp, file_web.cpp) and tests can stand in a file system that fails any
// chosen operation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <vector>

#include "platform/path.h"

namespace hush {

// What makes two paths the same file: device and inode on POSIX, volume
// serial number and file index on Windows.
struct FileIdentity {
  std::uint64_t volume = 0;
  std::uint64_t index = 0;
  friend bool operator==(const FileIdentity&, const FileIdentity&) = default;
};

// What a file looked like at one moment: its length, and a file whose
// stamp has changed has been written to since.
struct FileStamp {
  std::uint64_t size = 0;
  std::uint64_t lastWrite = 0;  // in the system's own units
  friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// Which file a path names, and how that file looked.
struct FileState {
  FileIdentity identity;
  FileStamp stamp;
  friend bool operator==(const FileState&, const FileState&) = default;
};

// A path as the system takes it: enough to tell whether two paths name
// one file now, or would once it is made. Each part is in the folder's own
// terms: its identity as the system resolves it, and its case rule (where
// case is ignored, or may be, the texts are folded).
struct FileName {
  std::optional<FileIdentity> file;    // the file the path names now
  std::optional<FileIdentity> folder;  // the folder a new file would go in
  Path folderPath;                     // that folder's full path, as the system resolves it
  Path name;                           // the name in that folder
};

// Whether two paths name one file now, or would once it is made: one file
// now, or the same name in one folder.
bool nameOneFile(const FileName& a, const FileName& b);

// An open file. Reads are positioned and leave no shared cursor behind;
// writes append at the write position, which starts at 0.
class File {
 public:
  virtual ~File() = default;

  // Fills `into` from `offset`; false unless every byte was read.
  [[nodiscard]] virtual bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) = 0;
  // Writes all of `bytes`; false on any error or short write.
  [[nodiscard]] virtual bool write(std::span<const std::uint8_t> bytes) = 0;
  // Appends `length` bytes of `source` from `offset`; false unless all were
  // copied. Implementations may copy inside the kernel.
  [[nodiscard]] virtual bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length);
  virtual std::optional<FileIdentity> identity() = 0;
  virtual std::optional<FileStamp> stamp() = 0;
  // Pushes written bytes down to the disk.
  [[nodiscard]] virtual bool sync() = 0;
  // Closes the file; reports errors the operating system saves for close.
  virtual bool close() = 0;
};

// A new file written beside the file it is to replace. Until it is
// committed nobody else sees it: where the system allows it has no name at
// all, and one that is never committed is gone when this object goes.
class TempFile : public File {
 public:
  // Closes the file (a failed close fails the commit) and moves it onto
  // `target` in one step, replacing what was there. The move is durable
  // once the target's folder is synced (FileSystem::syncFolderOf).
  [[nodiscard]] virtual bool commit(const Path& target) = 0;
};

// A temporary file written through an open file of its platform, `Open`:
// everything but the commit is that file's.
template <typename Open>
class TempFileThrough : public TempFile {
 public:
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override { return file_.readAt(offset, into); }
  bool write(std::span<const std::uint8_t> bytes) override { return file_.write(bytes); }
  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override {
    return file_.copyFrom(source, offset, length);
  }
  std::optional<FileIdentity> identity() override { return file_.identity(); }
  std::optional<FileStamp> stamp() override { return file_.stamp(); }
  bool sync() override { return file_.sync(); }
  bool close() override { return file_.close(); }

 protected:
  template <typename Handle>
  explicit TempFileThrough(Handle handle) : file_(handle) {}
  Open file_;
};

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // Opens an existing regular file for reading only; never waits for a
  // writer, as opening a pipe would.
  virtual std::unique_ptr<File> openForReading(const Path& path) = 0;
  // Whether a save may put a new file in place of `target`: yes when it
  // does not exist, or is a regular file this process could open for
  // writing. A device, a pipe, a folder or a write-protected file is never
  // replaced.
  [[nodiscard]] virtual bool mayReplace(const Path& target) = 0;
  // Creates a new, empty file in the folder of `target`, for writing and
  // reading, with the permission bits that `target` has (or those of a newly
  // created file when it does not exist).
  virtual std::unique_ptr<TempFile> createTempBeside(const Path& target) = 0;
  // Makes the latest changes to the folder holding `path` (a commit into
  // it) durable. False where the system could not; the change itself has
  // happened either way.
  virtual bool syncFolderOf(const Path& path) = 0;
  // Identity and stamp of the file `path` names, taken in one look.
  [[nodiscard]] virtual std::optional<FileState> stateOf(const Path& path) = 0;
  // The path a save should really replace: a symbolic link is followed so
  // that the link stays and the file it names gets the new bytes. Nothing
  // when the links could not be followed to the file the system finds.
  virtual std::optional<Path> resolveLinks(const Path& path) = 0;
  // How the system names each of `paths` (see FileName); in one call, so
  // that what it learns of a folder serves every path in it. Where it
  // cannot be asked, each path is only its own spelling.
  virtual std::vector<FileName> namesOf(const std::vector<Path>& paths);
};

FileSystem& nativeFileSystem();

}  // namespace hush
