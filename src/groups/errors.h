// The program's exceptions. The group codec throws them (LoadError for a
// payload that is not a group), the stripping pass throws Error for a group
// it cannot rewrite, and only the stripping pass catches (as Error).
#pragma once

#include <stdexcept>
#include <string>

namespace hush {

class Error : public std::runtime_error {
 public:
  explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// Data being loaded cannot be accepted.
class LoadError : public Error {
 public:
  explicit LoadError(const std::string& message) : Error(message) {}
};

}  // namespace hush
