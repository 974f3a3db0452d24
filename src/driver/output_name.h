// Naming the output and turning arguments into paths.
#pragma once

#include <string>

namespace hush {

// The input name cut at its last '.' (anywhere in the text, folders
// included), followed by "-quiet.3mm".
template <typename String>
String deriveOutputName(const String& inputName) {
  using Char = typename String::value_type;
  const auto dot = inputName.rfind(Char('.'));
  String name = dot == String::npos ? inputName : inputName.substr(0, dot);
  for (const char c : std::string("-quiet.3mm")) name.push_back(Char(c));
  return name;
}

// Each byte of `text` becomes one 16-bit unit of the same value (0x80 to
// 0xFF stay 0x0080 to 0x00FF).
std::u16string widenPath(const char* text);

}  // namespace hush
