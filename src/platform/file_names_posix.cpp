// Which paths name one file, as the kernel resolves folders and as each
// folder takes the case of names. Nothing says everywhere whether a
// folder ignores case (exFAT and FAT do, through any driver; ext4 may, a
// folder at a time), so the folder itself is asked.
#include "platform/file_names_posix.h"

#include <dirent.h>
#include <fcntl.h>
#include <locale.h>
#include <wctype.h>

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
// case compares names. Bytes that are no UTF-8 stay as they are; without
// the system's case tables every other letter stands for any other, so
// that no two names it might take for one are told apart.
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
    for (std::size_t at = 0; at < text.size();) {
      const auto [point, length] = decode(text, at);
      if (length == 0) {
        folded.push_back(text[at++]);
        continue;
      }
      encode(upper(point), folded);
      at += length;
    }
    return folded;
  }

 private:
  char32_t upper(char32_t point) const {
    if (point < 0x80) return isAsciiLetter(static_cast<char>(point)) ? point & ~char32_t{0x20} : point;
    if (locale_ == static_cast<locale_t>(nullptr)) return 0xFFFD;
    return static_cast<char32_t>(::towupper_l(static_cast<wint_t>(point), locale_));
  }

  // The code point at `at` and its length in bytes; length 0 where the
  // bytes are no UTF-8.
  static std::pair<char32_t, std::size_t> decode(const std::string& text, std::size_t at) {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned lead = byte(at);
    if (lead < 0x80) return {lead, 1};
    const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
    if (length == 0 || at + length > text.size()) return {0, 0};
    char32_t point = lead & (0x7F >> length);
    for (std::size_t i = 1; i < length; ++i) {
      if ((byte(at + i) & 0xC0) != 0x80) return {0, 0};
      point = (point << 6) | (byte(at + i) & 0x3F);
    }
    constexpr char32_t kShortest[] = {0, 0, 0x80, 0x800, 0x10000};
    const bool valid = point >= kShortest[length] && point <= 0x10FFFF && (point < 0xD800 || point > 0xDFFF);
    return valid ? std::pair{point, length} : std::pair<char32_t, std::size_t>{0, 0};
  }

  static void encode(char32_t point, std::string& into) {
    const std::size_t length = point < 0x80 ? 1 : point < 0x800 ? 2 : point < 0x10000 ? 3 : 4;
    constexpr unsigned kLead[] = {0, 0, 0xC0, 0xE0, 0xF0};
    for (std::size_t i = 0; i < length; ++i) {
      const unsigned bits = (point >> (6 * (length - 1 - i))) & (i == 0 ? 0xFF : 0x3F);
      into.push_back(static_cast<char>(i == 0 ? kLead[length] | bits : 0x80 | bits));
    }
  }

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
