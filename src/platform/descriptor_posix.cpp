// A path unit stands for one byte of the native path, so any byte string
// a user typed (Latin-1, UTF-8 or neither) reaches the operating system
// exactly as it came.
#include "platform/descriptor_posix.h"

#include <dirent.h>
#include <fcntl.h>

#include <algorithm>
#include <climits>

namespace hush::posix {

FileError fileErrorOf(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR: return FileError::NotFound;
    case EISDIR: return FileError::Folder;
    case ELOOP: return FileError::LinkLoop;
    case EACCES:
    case EPERM: return FileError::AccessDenied;
    case ENOSPC: return FileError::DiskFull;
    case EDQUOT: return FileError::QuotaFull;
    case EFBIG: return FileError::TooLarge;
    case EROFS: return FileError::ReadOnlyDisk;
    case ENAMETOOLONG: return FileError::PathTooLong;
    case EIO: return FileError::DiskError;
    case ETXTBSY:
    case EBUSY: return FileError::InUse;
    default: return FileError::Other;
  }
}

namespace {

// Opens `text` as a folder to work in. A path too long for one call is
// walked a name at a time.
Descriptor openFolder(const std::string& text) {
  constexpr int kFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
  if (text.empty()) return Descriptor(::open(".", kFlags));
  if (text.size() < PATH_MAX) return Descriptor(::open(text.c_str(), kFlags));
  Descriptor folder(::open(text[0] == '/' ? "/" : ".", kFlags));
  std::size_t at = 0;
  while (folder && at < text.size()) {
    const std::size_t end = std::min(text.find('/', at), text.size());
    if (end > at) folder = Descriptor(::openat(folder.get(), text.substr(at, end - at).c_str(), kFlags));
    at = end + 1;
  }
  return folder;
}

}  // namespace

std::optional<Place> locate(const Path& path) {
  std::string native;
  native.reserve(path.size());
  for (const char16_t unit : path) {
    if (unit == 0 || unit > 0xFF) return failed(std::nullopt, FileError::BadName);  // no byte stands for it
    native.push_back(static_cast<char>(unit));
  }
  if (native.empty()) return failed(std::nullopt, FileError::NoName);
  Place place;
  const auto slash = native.rfind('/');
  place.folderText = slash == std::string::npos ? std::string() : native.substr(0, slash + 1);
  place.name = slash == std::string::npos ? native : native.substr(slash + 1);
  if (place.name.empty()) place.name.push_back('.');  // "films/" names the folder itself
  place.folder = openFolder(place.folderText);
  if (!place.folder) return failed(std::nullopt);
  return place;
}

FileState stateFrom(const struct stat& st) {
  return FileState{
      FileIdentity{static_cast<std::uint64_t>(st.st_dev), static_cast<std::uint64_t>(st.st_ino)},
      FileStamp{static_cast<std::uint64_t>(st.st_size), static_cast<std::uint64_t>(st.st_mtim.tv_sec) * 1000000000u +
                                                             static_cast<std::uint64_t>(st.st_mtim.tv_nsec)}};
}

std::vector<std::string> namesIn(int folder) {
  Descriptor listing(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = listing ? ::fdopendir(listing.get()) : nullptr;
  std::vector<std::string> names;
  if (entries == nullptr) return names;
  listing.release();  // the listing's now
  while (const dirent* entry = ::readdir(entries)) names.emplace_back(entry->d_name);
  ::closedir(entries);
  return names;
}

}  // namespace hush::posix
