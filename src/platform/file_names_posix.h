// How POSIX systems name files: which paths name one file.
#pragma once

#include <vector>

#include "platform/file_system.h"

namespace hush::posix {

// Each path in its folder's own terms (FileSystem::namesOf).
std::vector<FileName> namesOf(const std::vector<Path>& paths);

}  // namespace hush::posix
