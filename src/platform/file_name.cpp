// Telling which paths name one file, from what the system said of each.
#include "platform/file_system.h"

namespace hush {

bool nameOneFile(const FileName& a, const FileName& b) {
  if (a.file && a.file == b.file) return true;
  if (a.name != b.name) return false;
  // One folder: one identity, or one full path on one volume (a file
  // system that gives each spelling of a folder an identity of its own).
  if (a.folder && b.folder) {
    return *a.folder == *b.folder || (a.folder->volume == b.folder->volume && a.folderPath == b.folderPath);
  }
  return a.folderPath == b.folderPath;
}

std::vector<FileName> FileSystem::namesOf(const std::vector<Path>& paths) {
  std::vector<FileName> names;
  for (const Path& path : paths) names.push_back(FileName{std::nullopt, std::nullopt, {}, path});
  return names;
}

}  // namespace hush
