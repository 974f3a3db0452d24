// The program's exceptions. Only the group codec throws, and only the
// stripping pass catches (as Error).
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
