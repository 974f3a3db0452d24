#include "platform/rights_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace hush::posix {

constexpr const char* kAccessAcl = "system.posix_acl_access";

bool carryRights(const AttributeSource& from, const struct stat& st, int to) {
  mode_t mode = st.st_mode & 07777;
  struct stat now {};
  if (::fchown(to, st.st_uid, st.st_gid) != 0 && ::fchown(to, static_cast<uid_t>(-1), st.st_gid) != 0) {
    // Not ours to give away: the file stays ours, with our group.
  }
  if (::fstat(to, &now) != 0) return failed(false);
  if (now.st_gid != st.st_gid) mode &= ~mode_t{070};
  if (::fchmod(to, mode) != 0) return failed(false, FileError::RightsNotKept);

  const auto names = from.get(nullptr);
  if (!names) return failed(false, FileError::RightsNotKept);
  bool hasAcl = false;
  for (std::size_t at = 0; at < names->size();) {
    const char* name = names->data() + at;
    at += std::strlen(name) + 1;
    hasAcl = hasAcl || std::strcmp(name, kAccessAcl) == 0;
    const auto value = from.get(name);
    if (!value) continue;  // gone since it was listed
    if (::fsetxattr(to, name, value->data(), value->size(), 0) == 0) continue;
    // One we may not set may already be right (a security label the
    // system gave the new file).
    const auto there = AttributeSource{to, {}}.get(name);
    if (!there || *there != *value) return failed(false, FileError::RightsNotKept);
  }
  // A new file may have taken an ACL from its folder's default: the target
  // had none, so neither may its replacement.
  if (!hasAcl && ::fremovexattr(to, kAccessAcl) != 0 && errno != ENODATA && errno != ENOTSUP) {
    return failed(false, FileError::RightsNotKept);
  }
  return true;
}

bool carryRightsOfTarget(const Place& target, int to) {
  Descriptor file(::openat(target.folder.get(), target.name.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  AttributeSource source{file.get(), {}};
  if (!file) {
    file = Descriptor(::openat(target.folder.get(), target.name.c_str(), O_PATH | O_CLOEXEC));
    if (!file) return failed(false);
    source = AttributeSource{file.get(), "/proc/self/fd/" + std::to_string(file.get())};
  }
  struct stat st {};
  if (::fstat(file.get(), &st) != 0) return failed(false);
  return carryRights(source, st, to);
}

}  // namespace hush::posix
