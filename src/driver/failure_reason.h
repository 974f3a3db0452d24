// Every reason the user reads for a movie that was not silenced: why a
// load or a save failed, and why the run refused to go on.
#pragma once

#include <string>
#include <string_view>

#include "chunky/chunky_file.h"
#include "driver/refusal.h"

namespace hush {

enum class Step { Load, Save };

// Why `failure` ended `step`, as one sentence for the user.
std::string failureReason(const Failure& failure, Step step);

// Why the run refused, as one sentence. `first` is the group codec's own
// words for a damaged group, or the output's name for a drop's refusal;
// `second` the earlier movie whose output that is.
std::string refusalReason(Refusal refusal, std::string_view first = {}, std::string_view second = {});

}  // namespace hush
