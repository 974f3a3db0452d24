// The arguments where a path is bytes (every system but Windows): each byte
// becomes one path unit, so any name reaches the file system as it came.
#include "platform/console.h"

namespace hush {

std::vector<Argument> commandLineArguments(int argc, char** argv) {
  std::vector<Argument> arguments;
  for (int i = 0; i < argc; ++i) arguments.push_back(Argument{argv[i], widenPath(argv[i])});
  return arguments;
}

}  // namespace hush
