// Which entries of an event group are sound events.
#pragma once

#include <cstdint>

#include "groups/event_group.h"

namespace hush {

// The two sound event tests; a group's fixedSize chooses between them.
bool isSoundEventAt4(GroupEntry entry);
bool isSoundEventAt0(GroupEntry entry);

// The test that applies to an entry of a group with this fixedSize.
bool isSoundEvent(GroupEntry entry, std::uint32_t fixedSize);

}  // namespace hush
