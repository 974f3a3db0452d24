// Systems without Explorer: the menu's options are unknown there, so none
// of this is ever asked for.
#include "platform/explorer_menu.h"

namespace hush {

bool hasExplorerMenu() { return false; }

bool installExplorerMenu(std::FILE*) { return false; }

bool uninstallExplorerMenu(std::FILE*) { return false; }

std::optional<std::vector<Argument>> gatherSelection(const Argument& movie) { return std::vector<Argument>{movie}; }

}  // namespace hush
