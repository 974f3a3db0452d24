// The browser's files: one dropped movie, read slice by slice where it lies,
// and one new document, handed out in pieces as it is written. The page's
// worker answers the calls below (web/file_bridge.js); nothing of either
// file is ever held whole here.
//
// A browser has no folders, links, rights or other files: the movie's own
// name is the only file that exists, and every other name is free for the
// output, which the page keeps once it is committed.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/read_ahead.h"
#include "platform/file_error.h"
#include "platform/file_system.h"
#include "platform/web_files.h"

extern "C" {
// Fills [into, into + length) from the movie at `offset`; false if the
// browser could not read it all.
bool hush_read_movie(double offset, std::size_t length, std::uint8_t* into);
// Takes a copy of the next piece of the output; false if the page had no
// room for it.
bool hush_write_output(const std::uint8_t* bytes, std::size_t length);
// Appends the movie's bytes from `offset` to the output, read by the page
// into pieces of its own; false if it could not read them all.
bool hush_copy_movie(double offset, double length);
// The output is complete: the page may keep it.
void hush_commit_output();
}

namespace hush {
namespace {

struct OpenMovie {
  Path path;
  std::uint64_t size = 0;
  bool folder = false;
};
OpenMovie movie;

constexpr FileIdentity kMovieIdentity{1, 1};

// The movie, read only: all but its reads.
class Movie : public File {
 public:
  bool write(std::span<const std::uint8_t>) override { return false; }
  std::optional<FileIdentity> identity() override { return kMovieIdentity; }
  std::optional<FileStamp> stamp() override { return FileStamp{movie.size, 0}; }
  bool sync() override { return true; }
  bool close() override { return true; }
};

// The movie as the page reads it: every call crosses into the browser.
class MovieSlices final : public Movie {
 public:
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override {
    if (offset > movie.size || into.size() > movie.size - offset) return false;
    if (into.empty()) return true;
    if (hush_read_movie(static_cast<double>(offset), into.size(), into.data())) return true;
    noteFileError(FileError::DiskError);
    return false;
  }
};

class MovieFile final : public Movie {
 public:
  // A read from the browser costs about a millisecond before its first
  // byte and then about 2 ms a MiB: the windows the store reads through
  // come from a larger one here.
  static constexpr std::size_t kWindow = 4 << 20;
  bool readAt(std::uint64_t offset, std::span<std::uint8_t> into) override { return window_.read(offset, into); }

 private:
  MovieSlices slices_;
  ReadAhead window_{slices_, movie.size, kWindow};
};

// The output, gathered into pieces of a few MiB before each crosses to the
// page: fewer, larger pieces make a cheaper Blob.
class OutputFile final : public TempFile {
 public:
  static constexpr std::size_t kPiece = 4 << 20;

  bool readAt(std::uint64_t, std::span<std::uint8_t>) override { return false; }
  // The movie's kept payloads go from the movie to the output inside the
  // page, as the native layer copies them inside the kernel: the page reads
  // them then, so the copy never depends on the movie again.
  bool copyFrom(File& source, std::uint64_t offset, std::uint64_t length) override {
    if (dynamic_cast<MovieFile*>(&source) == nullptr) return File::copyFrom(source, offset, length);
    if (offset > movie.size || length > movie.size - offset || !handOver()) return false;
    if (length == 0 || hush_copy_movie(static_cast<double>(offset), static_cast<double>(length))) return true;
    noteFileError(FileError::DiskError);
    return false;
  }
  bool write(std::span<const std::uint8_t> bytes) override {
    if (pending_.size() + bytes.size() > kPiece && !handOver()) return false;
    if (bytes.size() >= kPiece) return handOver(bytes);
    pending_.insert(pending_.end(), bytes.begin(), bytes.end());
    return true;
  }
  std::optional<FileIdentity> identity() override { return FileIdentity{1, 2}; }
  std::optional<FileStamp> stamp() override { return std::nullopt; }
  bool sync() override { return true; }
  bool close() override { return handOver(); }
  bool commit(const Path&) override {
    if (!close()) return false;
    hush_commit_output();
    return true;
  }

 private:
  bool handOver() {
    const bool handed = handOver(pending_);
    pending_.clear();
    return handed;
  }
  static bool handOver(std::span<const std::uint8_t> bytes) {
    if (bytes.empty() || hush_write_output(bytes.data(), bytes.size())) return true;
    noteFileError(FileError::DiskFull);
    return false;
  }
  std::vector<std::uint8_t> pending_;
};

class WebFileSystem final : public FileSystem {
 public:
  static constexpr std::size_t kLongestName = 255;  // bytes of UTF-8

  std::unique_ptr<File> openForReading(const Path& path) override {
    if (path != movie.path || movie.folder) {
      noteFileError(movie.folder ? FileError::Folder : FileError::NotFound);
      return nullptr;
    }
    return std::make_unique<MovieFile>();
  }
  bool mayReplace(const Path& target) override { return target != movie.path; }
  // No common file system takes a name of more than 255 bytes: a copy the
  // user's disk would refuse on download is refused here, as Linux does.
  std::unique_ptr<TempFile> createTempBeside(const Path& target) override {
    if (target.size() > kLongestName) {
      noteFileError(FileError::PathTooLong);
      return nullptr;
    }
    return std::make_unique<OutputFile>();
  }
  bool syncFolderOf(const Path&) override { return true; }
  std::optional<FileState> stateOf(const Path& path) override {
    if (path != movie.path) return std::nullopt;
    return FileState{kMovieIdentity, FileStamp{movie.size, 0}};
  }
  std::optional<Path> resolveLinks(const Path& path) override { return path; }
};

}  // namespace

void openDroppedMovie(const Path& name, std::uint64_t size, bool folder) { movie = OpenMovie{name, size, folder}; }

FileSystem& nativeFileSystem() {
  static WebFileSystem fileSystem;
  return fileSystem;
}

}  // namespace hush
