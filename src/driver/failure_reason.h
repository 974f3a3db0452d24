// The line that tells the user why a load or a save failed.
#pragma once

#include <string>

#include "chunky/chunky_file.h"

namespace hush {

enum class Step { Load, Save };

// Why `failure` ended `step`, as one sentence for the user.
std::string failureReason(const Failure& failure, Step step);

}  // namespace hush
