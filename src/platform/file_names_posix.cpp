// Which paths name one file, as the kernel resolves folders and as each
// folder takes the case of names. Nothing says everywhere whether a
// folder ignores case (exFAT and FAT do, through any driver; ext4 may, a
// folder at a time), so the folder itself is asked.
#include "platform/file_names_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>

#include <climits>
#include <cwchar>
#include <cwctype>
#include <map>
#include <string>

#include "platform/descriptor_posix.h"

namespace hush::posix {
namespace {

bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// Calls `look` with each name in `folder` until it returns true; false
// when the folder cannot be listed or no name was taken.
template <typename Look>
bool anyListed(int folder, Look look) {
  Descriptor open(::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  DIR* entries = open ? ::fdopendir(open.get()) : nullptr;
  if (entries == nullptr) return false;
  open.release();  // the listing's now
  bool found = false;
  while (const dirent* entry = found ? nullptr : ::readdir(entries)) found = look(std::string(entry->d_name));
  ::closedir(entries);
  return found;
}

// Whether names in `folder` ignore case: a name there with a letter is
// looked up with its letters in the other case; found, yet not listed so,
// it was found by its own letters. A folder with no name to ask by, or
// that cannot be listed, is taken to ignore case: the safe side.
bool ignoresCase(int folder) {
  int asked = 0;
  bool ignores = true;
  anyListed(folder, [&](const std::string& name) {
    std::string other = name;
    for (char& c : other) c = isAsciiLetter(c) ? static_cast<char>(c ^ 0x20) : c;
    if (other == name) return false;
    struct stat st {};
    if (::fstatat(folder, other.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) {
      ignores = false;
      return true;
    }
    if (!anyListed(folder, [&](const std::string& listed) { return listed == other; })) return true;
    return ++asked == 8;  // a folder of names in both cases: enough asked
  });
  return ignores;
}

// UTF-8 text with every letter in one case, as a file system that ignores
// case compares names, by the C library's Unicode tables (C.UTF-8, which
// glibc has built in). Bytes that are no UTF-8 stay as they are.
class CaseFold {
 public:
  CaseFold() : locale_(::newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr))) {}
  ~CaseFold() {
    if (locale_ != static_cast<locale_t>(nullptr)) ::freelocale(locale_);
  }
  CaseFold(const CaseFold&) = delete;
  CaseFold& operator=(const CaseFold&) = delete;

  std::string operator()(const std::string& text) const {
    std::string folded;
    const locale_t previous = ::uselocale(locale_ != static_cast<locale_t>(nullptr) ? locale_ : LC_GLOBAL_LOCALE);
    std::mbstate_t in{}, out{};
    for (std::size_t at = 0; at < text.size();) {
      wchar_t letter = 0;
      const std::size_t length = std::mbrtowc(&letter, text.data() + at, text.size() - at, &in);
      char bytes[MB_LEN_MAX];
      const auto upper = static_cast<wchar_t>(std::towupper(static_cast<wint_t>(letter)));
      const std::size_t made = length - 1 < text.size() - at ? std::wcrtomb(bytes, upper, &out) : 0;
      if (made - 1 < sizeof bytes) {
        folded.append(bytes, made);
        at += length;
      } else {
        folded.push_back(text[at++]);
        in = {};
      }
    }
    ::uselocale(previous);
    return folded;
  }

 private:
  locale_t locale_;
};

Path pathOf(const std::string& text) { return widenPath(text.c_str()); }

// The folder's full path as the kernel resolved it, where /proc says.
std::string fullPathOf(const Place& place) {
  std::string full(4096, '\0');
  const std::string self = "/proc/self/fd/" + std::to_string(place.folder.get());
  const ssize_t n = ::readlink(self.c_str(), full.data(), full.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= full.size()) return place.folderText;
  full.resize(static_cast<std::size_t>(n));
  return full;
}

}  // namespace

std::vector<FileName> namesOf(const std::vector<Path>& paths) {
  const CaseFold fold;
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
    const bool blind = known.first->second;
    const std::string full = fullPathOf(*place);
    name.folderPath = pathOf(blind ? fold(full) : full);
    name.name = pathOf(blind ? fold(place->name) : place->name);
    names.push_back(std::move(name));
  }
  return names;
}

}  // namespace hush::posix
