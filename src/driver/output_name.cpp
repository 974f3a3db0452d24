#include "driver/output_name.h"

namespace hush {

std::u16string widenPath(const char* text) {
  std::u16string wide;
  for (const char* p = text; *p != '\0'; ++p) wide.push_back(static_cast<char16_t>(static_cast<unsigned char>(*p)));
  return wide;
}

}  // namespace hush
