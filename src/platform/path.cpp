#include "platform/path.h"

namespace hush {

Path widenPath(const char* text) {
  Path wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  return wide;
}

Path extendedLengthForm(const Path& fullPath) {
  if (fullPath.starts_with(u"\\\\?\\") || fullPath.starts_with(u"\\\\.\\")) return fullPath;
  if (fullPath.starts_with(u"\\\\")) return u"\\\\?\\UNC\\" + fullPath.substr(2);
  return u"\\\\?\\" + fullPath;
}

}  // namespace hush
