// A program started from a shell is named as it was started.
#include "platform/console.h"

namespace hush {

void printUsage(std::FILE* out, const std::string& program) {
  const char* name = program.empty() ? "hushmaker" : program.c_str();
  std::fprintf(out, "Usage: %s [--pause] <in.3mm> [out.3mm]\n", name);
  std::fprintf(out, "       %s [--pause] --each <movie.3mm>...\n", name);
  std::fprintf(out, "Saves the movie without its sounds, as out.3mm or else as in-quiet.3mm;\n");
  std::fprintf(out, "with --each, each movie as movie-quiet.3mm. --pause waits for Enter after a failure.\n");
}

std::span<const std::string_view> helpOptions() {
  static constexpr std::string_view kOptions[] = {"--help", "-h"};
  return kOptions;
}

}  // namespace hush
