// The program's exceptions. Only the group codec throws them (LoadError for
// a payload that is not a group, Error for one too large to write), and
// only the stripping pass catches them (as Error), turning them into its
// result.
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
