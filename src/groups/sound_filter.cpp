// Which entries of a group are sound events, and their removal.
#include <algorithm>

#include "common/byte_reader.h"
#include "groups/event_group.h"

namespace hush {
namespace {

// Both tests want a whole 12-byte fixed part, even the one that only reads
// up to byte 7.
constexpr std::size_t kSoundEventMinSize = 12;

std::uint32_t wordAt(GroupEntry entry, std::size_t offset) {
  ByteReader in(entry);
  in.seek(offset);
  return in.u32();
}

}  // namespace

bool isSoundEventAt4(GroupEntry entry) { return entry.size() >= kSoundEventMinSize && wordAt(entry, 4) == 1; }

bool isSoundEventAt0(GroupEntry entry) { return entry.size() >= kSoundEventMinSize && wordAt(entry, 0) == 6; }

void EventGroup::removeSoundEvents() {
  const auto isSound = fixedSize_ == 8 ? isSoundEventAt4 : isSoundEventAt0;
  std::erase_if(spans_, [&](const Span& span) {
    return isSound(GroupEntry(data_).subspan(span.offset, span.size));
  });
}

}  // namespace hush
