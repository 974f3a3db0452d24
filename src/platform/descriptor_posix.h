// What every POSIX file call here shares: descriptors that close
// themselves, the error a failed call notes, and a path taken apart into
// its open folder and a name.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string>
#include <vector>

#include "platform/file_error.h"
#include "platform/file_system.h"

namespace hush::posix {

FileError fileErrorOf(int error);

// Notes why the call that just failed did, and gives `result`.
template <typename Result>
Result failed(Result result, FileError error = fileErrorOf(errno)) {
  noteFileError(error);
  return result;
}

// An open descriptor, closed when it goes.
class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  ~Descriptor() { reset(); }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = other.release();
    }
    return *this;
  }
  int get() const { return fd_; }
  explicit operator bool() const { return fd_ >= 0; }
  int release() {
    const int fd = fd_;
    fd_ = -1;
    return fd;
  }
  void reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// Repeats a call that a signal cut short.
int retryInterrupted(auto call) {
  int result;
  do {
    result = call();
  } while (result < 0 && errno == EINTR);
  return result;
}

// A path taken apart: its folder, open, and the name inside it.
struct Place {
  Descriptor folder;
  std::string name;
  std::string folderText;  // as the path gave it: "" or ending in '/'
};

// Takes `path` apart and opens its folder. Every file is reached through
// its folder: the calls then take a single name, so a path of any length
// the file system accepts works, and the temporary file, the target and
// the folder synced are surely in the same folder.
std::optional<Place> locate(const Path& path);

FileState stateFrom(const struct stat& st);

// The names in the open folder `folder` ("." and ".." among them); none
// when it cannot be listed.
std::vector<std::string> namesIn(int folder);

}  // namespace hush::posix
