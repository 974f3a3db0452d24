#include "driver/options.h"

#include <algorithm>
#include <string_view>

#include "platform/explorer_menu.h"

namespace hush {

Options readOptions(const std::vector<Argument>& args) {
  Options options;
  if (args.empty()) return options;
  options.files.push_back(args[0]);
  const auto help = helpOptions();
  bool reading = true;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& text = args[i].text;
    if (reading && text == "--") {
      reading = false;
    } else if (reading && std::find(help.begin(), help.end(), text) != help.end()) {
      options.help = true;
    } else if (reading && text == "--version") {
      options.version = true;
    } else if (reading && text == "--pause") {
      options.pause = true;
    } else if (reading && text == "--each") {
      options.each = true;
    } else if (reading && hasExplorerMenu() && text == "--install") {
      options.install = true;
    } else if (reading && hasExplorerMenu() && text == "--uninstall") {
      options.uninstall = true;
    } else if (reading && hasExplorerMenu() && text == "--menu") {
      options.menu = true;
    } else if (reading && text.size() > 1 && text[0] == '-') {
      if (options.unknown.empty()) options.unknown = text;
    } else {
      reading = false;
      options.files.push_back(args[i]);
    }
  }
  return options;
}

}  // namespace hush
