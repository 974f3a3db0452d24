// Explorer's right-click menu for movies, for the current user only, and
// the selection it hands over one movie at a time.
#pragma once

#include <cstdio>
#include <optional>
#include <vector>

#include "platform/console.h"

namespace hush {

// Whether this system has the menu: Windows alone.
bool hasExplorerMenu();

// Adds "Silence with Hushmaker" to the menu of .3mm files, pointing at this
// program where it lies, or takes away exactly what that added; both say
// what they did, and neither touches what other programs registered for
// .3mm files. False when Windows refused the change.
bool installExplorerMenu(std::FILE* out);
bool uninstallExplorerMenu(std::FILE* out);

// Explorer starts the menu's command once for each selected movie. The
// first of them gathers the names the others hand over while they keep
// coming, and returns them all, so that one plan covers the selection as
// for a drop; the others get nothing back and have nothing more to do.
std::optional<std::vector<Argument>> gatherSelection(const Argument& movie);

}  // namespace hush
