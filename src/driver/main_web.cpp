// The page's entry: one dropped movie, silenced by the same run as a
// command line that names it after "--", its lines printed as the console
// prints them (the worker reads them from standard output).
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "driver/output_name.h"
#include "driver/run.h"
#include "platform/web_files.h"

extern "C" {
// Tells the page the output's name before the run starts.
void hush_name_output(const char* name);

EMSCRIPTEN_KEEPALIVE int hush_silence(const char* name, double size, int folder) {
  hush_name_output(hush::deriveOutputName(std::string(name)).c_str());
  hush::openDroppedMovie(hush::widenPath(name), static_cast<std::uint64_t>(size), folder != 0);
  // A movie's name is never an option, whatever it begins with.
  char program[] = "hushmaker";
  char endOfOptions[] = "--";
  char* argv[] = {program, endOfOptions, const_cast<char*>(name), nullptr};
  const int status = hush::run(3, argv);
  std::fflush(stdout);
  return status;
}
}
