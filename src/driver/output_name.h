// Naming the output.
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

}  // namespace hush
