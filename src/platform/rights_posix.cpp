#include "platform/rights_posix.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>

namespace hush::posix {

namespace {

constexpr const char* kAccessAcl = "system.posix_acl_access";

// An access ACL as the system keeps it: a 4-byte version, then 8-byte
// entries of tag (2 bytes), permissions (2) and id (4).
constexpr std::size_t kAclHeader = 4;
constexpr std::size_t kAclEntry = 8;
constexpr char kOwningGroupTag = 0x04;

// The owning group's entry now speaks for a group the file did not have:
// it gets no rights, as the mode's group bits get none.
void closeOwningGroup(std::vector<char>& acl) {
  for (std::size_t at = kAclHeader; at + kAclEntry <= acl.size(); at += kAclEntry) {
    if (acl[at] == kOwningGroupTag && acl[at + 1] == 0) acl[at + 2] = acl[at + 3] = 0;
  }
}

}  // namespace

bool carryRights(const AttributeSource& from, const struct stat& st, int to) {
  mode_t mode = st.st_mode & 07777;
  struct stat now {};
  if (::fchown(to, st.st_uid, st.st_gid) != 0 && ::fchown(to, static_cast<uid_t>(-1), st.st_gid) != 0) {
    // Not ours to give away: the file stays ours, with our group.
  }
  if (::fstat(to, &now) != 0) return failed(false);
  const bool groupChanged = now.st_gid != st.st_gid;
  if (groupChanged) mode &= ~mode_t{070};
  // A file system with no modes to set (FAT) fails even a chmod to the
  // mode the file already has: then nothing needed carrying.
  if (::fchmod(to, mode) != 0 && (now.st_mode & 07777) != mode) return failed(false, FileError::RightsNotKept);

  const auto names = from.get(nullptr);
  if (!names) return failed(false, FileError::RightsNotKept);
  bool hasAcl = false;
  for (std::size_t at = 0; at < names->size();) {
    const char* name = names->data() + at;
    at += std::strlen(name) + 1;
    const bool isAcl = std::strcmp(name, kAccessAcl) == 0;
    hasAcl = hasAcl || isAcl;
    auto value = from.get(name);
    if (!value) continue;  // gone since it was listed
    if (isAcl && groupChanged) closeOwningGroup(*value);
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
