// The file system of POSIX systems: opening, checking and naming files,
// each reached through its open folder.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "platform/descriptor_posix.h"
#include "platform/file_names_posix.h"
#include "platform/file_posix.h"
#include "platform/file_system.h"
#include "platform/temp_file_posix.h"

namespace hush {
namespace {

using namespace posix;

class PosixFileSystem final : public FileSystem {
 public:
  std::unique_ptr<File> openForReading(const Path& path) override {
    const auto place = locate(path);
    if (!place) return nullptr;
    // Non-blocking, so that a pipe named as the input cannot hold us up;
    // only a regular file is read, and that in the usual blocking way.
    Descriptor fd(retryInterrupted([&] {
      return ::openat(place->folder.get(), place->name.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    }));
    if (!fd) return failed(nullptr);
    struct stat st {};
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (::fstat(fd.get(), &st) != 0 || flags < 0) return failed(nullptr);
    if (!S_ISREG(st.st_mode)) return failed(nullptr, S_ISDIR(st.st_mode) ? FileError::Folder : FileError::NotAFile);
    if (::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return failed(nullptr);
    return std::make_unique<PosixFile>(fd.release());
  }

  bool mayReplace(const Path& target) override {
    const auto place = locate(target);
    if (!place) return false;
    const int folder = place->folder.get();
    const char* name = place->name.c_str();
    struct stat st {};
    if (::fstatat(folder, name, &st, 0) != 0) {
      const int error = errno;
      if (error != ENOENT) return failed(false, fileErrorOf(error));
      // Nothing there may be created; a link to nothing is left alone, as
      // cp leaves it, rather than replaced by a file.
      if (::fstatat(folder, name, &st, AT_SYMLINK_NOFOLLOW) == 0) return failed(false, FileError::LinkToNothing);
      return true;
    }
    if (!S_ISREG(st.st_mode)) return failed(false, S_ISDIR(st.st_mode) ? FileError::Folder : FileError::NotAFile);
    // Asked as the user we act for: root keeps root's rights.
    if (::faccessat(folder, name, W_OK, AT_EACCESS) == 0) return true;
    if (errno != EACCES) return failed(false);
    return failed(false, st.st_uid == ::geteuid() ? FileError::WriteProtected : FileError::OthersFile);
  }

  std::unique_ptr<TempFile> createTempBeside(const Path& target) override {
    auto place = locate(target);
    return place ? createTempIn(std::move(*place)) : nullptr;
  }

  bool syncFolderOf(const Path& path) override {
    const auto place = locate(path);
    if (!place) return false;
    const Descriptor folder(::openat(place->folder.get(), ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    return folder && ::fsync(folder.get()) == 0;
  }

  std::optional<FileState> stateOf(const Path& path) override {
    const auto place = locate(path);
    struct stat st {};
    if (!place) return std::nullopt;
    if (::fstatat(place->folder.get(), place->name.c_str(), &st, 0) != 0) return failed(std::nullopt);
    return stateFrom(st);
  }

  // The system decides whether the path leads to a file, and which (a
  // chain of up to 40 links, as it counts them); the links are then
  // followed one at a time, so that a path of any length works, to the
  // name of that very file.
  std::optional<Path> resolveLinks(const Path& path) override {
    const auto first = locate(path);
    struct stat file {};
    if (!first) return failed(std::nullopt);
    // Nothing there to follow to (a new name, a link to nothing, a loop):
    // the path as it is, for mayReplace to take or refuse.
    if (::fstatat(first.value().folder.get(), first->name.c_str(), &file, 0) != 0) return path;
    Path current = path;
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
      const auto place = locate(current);
      struct stat st {};
      if (!place || ::fstatat(place->folder.get(), place->name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) break;
      if (!S_ISLNK(st.st_mode)) {
        if (stateFrom(st).identity == stateFrom(file).identity) return current;
        break;
      }
      std::string to(static_cast<std::size_t>(st.st_size) + 1, '\0');
      const ssize_t n = ::readlinkat(place->folder.get(), place->name.c_str(), to.data(), to.size());
      if (n <= 0 || static_cast<std::size_t>(n) >= to.size()) break;
      to.resize(static_cast<std::size_t>(n));
      if (to[0] != '/') to = place->folderText + to;
      current = widenPath(to.c_str());
    }
    // The links changed while they were followed.
    return failed(std::nullopt, FileError::Other);
  }

  std::vector<FileName> namesOf(const std::vector<Path>& paths) override { return posix::namesOf(paths); }

 private:
  static constexpr int kMaxLinks = 40;  // what Linux follows in one path
};

}  // namespace

FileSystem& nativeFileSystem() {
  static PosixFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
