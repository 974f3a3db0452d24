// The browser's side of the file layer: which dropped movie the next run
// reads.
#pragma once

#include <cstdint>

#include "platform/path.h"

namespace hush {

// Makes `name` the one file there is, `size` bytes long, read through the
// page, or a folder when one was dropped. Every other name is free for the
// output.
void openDroppedMovie(const Path& name, std::uint64_t size, bool folder);

}  // namespace hush
