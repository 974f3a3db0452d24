// Windows users drop files onto the program, and its own options begin
// with a slash.
#include "platform/console.h"

namespace hush {

void printUsage(std::FILE* out, const std::string& /*program*/) {
  std::fprintf(out, "Usage: Drag a file onto Hushmaker.exe!\n");
  std::fprintf(out, "Or type: Hushmaker.exe <in.3mm> [out.3mm]\n");
  std::fprintf(out, "at a command prompt.\n");
  std::fprintf(out, "Several movies: Hushmaker.exe [--pause] --each <a.3mm> <b.3mm>...\n");
  std::fprintf(out, "Explorer's right-click menu: Hushmaker.exe --install (or --uninstall)\n");
}

std::span<const std::string_view> helpOptions() {
  static constexpr std::string_view kOptions[] = {"--help", "-h", "/?"};
  return kOptions;
}

}  // namespace hush
