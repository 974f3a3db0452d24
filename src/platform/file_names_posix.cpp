// Which paths name one file, as the kernel resolves folders and as each
// folder takes the case of names. Nothing says everywhere whether a
// folder ignores case (exFAT and FAT do, through any driver; ext4 may, a
// folder at a time), so the folder itself is asked.
#include "platform/file_names_posix.h"

#include <fcntl.h>
#include <locale.h>

#include <cctype>
#include <cwchar>
#include <cwctype>
#include <filesystem>
#include <map>
#include <string>

#include "platform/descriptor_posix.h"

namespace hush::posix {
namespace {

// Whether names in `folder` ignore case: the first name there with a
// letter is looked up with every letter in the other case. A folder with no
// such name, or that cannot be listed, is taken to ignore case: the safe
// side.
bool ignoresCase(int folder) {
  for (std::string name : namesIn(folder)) {
    const std::string given = name;
    for (char& c : name) {
      const int letter = static_cast<unsigned char>(c);
      c = static_cast<char>(std::islower(letter) ? std::toupper(letter) : std::tolower(letter));
    }
    struct stat st {};
    if (name != given) return ::fstatat(folder, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0;
  }
  return true;
}

// The C library's Unicode tables (C.UTF-8, which glibc has built in), for
// the process's life.
locale_t unicode() {
  static const locale_t locale = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
  return locale;
}

// A name with every letter in upper case, as a file system that ignores
// case compares names: each character of its UTF-8 (one past 16 bits keeps
// its low ones: names it then takes for one are at worst refused, never
// written twice). A name that is no UTF-8 stays as it is: such a file
// system, which keeps names in UTF-16, takes none.
Path inOneCase(const std::string& text) {
  const locale_t previous = ::uselocale(unicode());
  std::wstring wide(text.size(), L'\0');  // no more characters than bytes
  std::mbstate_t state{};
  const char* from = text.c_str();
  const std::size_t length = std::mbsrtowcs(wide.data(), &from, wide.size(), &state);
  Path folded = widenPath(text.c_str());
  if (length != static_cast<std::size_t>(-1)) {
    folded.clear();
    for (std::size_t i = 0; i < length; ++i) folded.push_back(static_cast<char16_t>(std::towupper(static_cast<wint_t>(wide[i]))));
  }
  ::uselocale(previous);
  return folded;
}

// The folder's full path as the kernel resolved it, where /proc says.
std::string fullPathOf(const Place& place) {
  std::error_code unknown;
  const auto full = std::filesystem::read_symlink("/proc/self/fd/" + std::to_string(place.folder.get()), unknown);
  return unknown ? place.folderText : full.string();
}

}  // namespace

std::vector<FileName> namesOf(const std::vector<Path>& paths) {
  std::map<std::pair<std::uint64_t, std::uint64_t>, bool> folders;  // whether each ignores case
  std::vector<FileName> names;
  for (const Path& path : paths) {
    const auto place = locate(path);
    struct stat folder {};
    if (!place || ::fstat(place->folder.get(), &folder) != 0) {
      names.push_back(FileName{std::nullopt, std::nullopt, {}, path});  // no folder, so no file made there
      continue;
    }
    FileName name{std::nullopt, stateFrom(folder).identity, {}, {}};
    struct stat file {};
    if (::fstatat(place->folder.get(), place->name.c_str(), &file, 0) == 0) name.file = stateFrom(file).identity;
    const auto known = folders.try_emplace({name.folder->volume, name.folder->index}, false);
    if (known.second) known.first->second = ignoresCase(place->folder.get());
    const std::string full = fullPathOf(*place);
    name.folderPath = known.first->second ? inOneCase(full) : widenPath(full.c_str());
    name.name = known.first->second ? inOneCase(place->name) : widenPath(place->name.c_str());
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace hush::posix
