// The page's entry: one dropped movie, silenced by the same run as a
// command line with one argument, its lines printed as the console prints
// them (the worker reads them from standard output).
#include <emscripten/emscripten.h>

#include <cstdio>
#include <new>
#include <string>

#include "driver/output_name.h"
#include "driver/run.h"
#include "platform/web_files.h"

extern "C" {
// Tells the page the output's name before the run starts.
void hush_name_output(const char* name);

EMSCRIPTEN_KEEPALIVE int hush_silence(const char* name, double size) {
  const std::string movie(name);
  hush_name_output(hush::deriveOutputName(movie).c_str());
  hush::openDroppedMovie(hush::widenPath(name), static_cast<std::uint64_t>(size));
  int status = hush::kExitGroupError;
  try {
    status = hush::run({hush::Argument{"hushmaker", u"hushmaker"}, hush::Argument{movie, hush::widenPath(name)}},
                       hush::nativeFileSystem());
  } catch (const std::bad_alloc&) {
    // As the native run: the document's steps answer for their memory.
    std::printf("Error: Not enough memory\n");
  }
  std::fflush(stdout);
  return status;
}
}
