// Telling which paths name one file, from what the system said of each.
#include "platform/file_system.h"

namespace hush {

bool nameOneFile(const FileName& a, const FileName& b) {
  if (a.file && a.file == b.file) return true;
  // One folder: one identity, or one full path on one volume (a file system
  // that gives each spelling of a folder an identity of its own), or one
  // path where neither folder is there.
  const auto volume = [](const FileName& n) { return n.folder ? std::optional(n.folder->volume) : std::nullopt; };
  const bool oneFolder = (a.folder && a.folder == b.folder) || (volume(a) == volume(b) && a.folderPath == b.folderPath);
  return oneFolder && a.name == b.name;
}

std::vector<FileName> FileSystem::namesOf(const std::vector<Path>& paths) {
  std::vector<FileName> names;
  for (const Path& path : paths) names.push_back(FileName{std::nullopt, std::nullopt, {}, path});
  return names;
}

}  // namespace hush
