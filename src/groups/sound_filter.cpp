// Which entries of a group are sound events, and their removal.
#include "groups/sound_filter.h"

#include <algorithm>

#include "common/byte_reader.h"

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

bool isSoundEvent(GroupEntry entry, std::uint32_t fixedSize) {
  return fixedSize == 8 ? isSoundEventAt4(entry) : isSoundEventAt0(entry);
}

void EventGroup::removeSoundEvents() {
  std::erase_if(spans_, [&](const Span& span) {
    return isSoundEvent(GroupEntry(data_).subspan(span.offset, span.size), fixedSize_);
  });
}

}  // namespace hush
