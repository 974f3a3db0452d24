// Rights carried from a file to its replacement: owner, group, permission
// bits, the access ACL and the other extended attributes.
#pragma once

#include <sys/stat.h>
#include <sys/xattr.h>

#include <optional>
#include <string>
#include <vector>

#include "platform/descriptor_posix.h"

namespace hush::posix {

// The extended attributes of a file, read through `fd`, or through `path`
// where `fd` was opened only to name the file.
struct AttributeSource {
  int fd;
  std::string path;  // "" to read through fd

  // The names (`name` null) or the value of one attribute; empty where
  // the file system keeps none.
  std::optional<std::vector<char>> get(const char* name) const {
    std::vector<char> value;
    for (int attempt = 0; attempt < 8; ++attempt) {
      ssize_t n = read(name, nullptr, 0);
      if (n < 0) return errno == ENOTSUP ? std::optional(std::vector<char>{}) : std::nullopt;
      value.resize(static_cast<std::size_t>(n));
      n = read(name, value.data(), value.size());
      if (n >= 0) {
        value.resize(static_cast<std::size_t>(n));
        return value;
      }
      if (errno != ERANGE) return std::nullopt;  // ERANGE: it grew in between
    }
    return std::nullopt;
  }

 private:
  ssize_t read(const char* name, char* into, std::size_t size) const {
    if (name == nullptr) return path.empty() ? ::flistxattr(fd, into, size) : ::listxattr(path.c_str(), into, size);
    return path.empty() ? ::fgetxattr(fd, name, into, size) : ::getxattr(path.c_str(), name, into, size);
  }
};

// Gives `to` the owner, group, permission bits, access ACL and other
// extended attributes of the file `from` names. Rights are never widened:
// where the group cannot be kept, the group gets no rights; where anything
// else cannot be kept, this fails and says so.
bool carryRights(const AttributeSource& from, const struct stat& st, int to);

// Opens the target to read its rights; a file we may write but not read is
// named through /proc.
bool carryRightsOfTarget(const Place& target, int to);

}  // namespace hush::posix
