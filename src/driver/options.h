// What the command line asks for: the options before the first file (or
// before "--"), and the files.
#pragma once

#include <string>
#include <vector>

#include "platform/console.h"

namespace hush {

struct Options {
  bool help = false;
  bool version = false;
  bool pause = false;           // wait for Enter after a failure
  bool each = false;            // every file a movie under its own default name
  bool install = false;         // add the entry to Explorer's menu
  bool uninstall = false;       // take it away
  bool menu = false;            // the one file was selected in Explorer's menu
  std::string unknown;          // the first option not known, if any
  std::vector<Argument> files;  // the program's name first, then the files
};

// Options are read until the first file or "--"; after that every argument
// is a file, whatever it begins with. "-" alone is a file. The options of
// Explorer's menu are known only where there is one.
Options readOptions(const std::vector<Argument>& args);

}  // namespace hush
