#include "platform/path.h"

namespace hush {

Path widenPath(const char* text) {
  Path wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  return wide;
}

}  // namespace hush
