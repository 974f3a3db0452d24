#include "group_payload.h"

#include "common/byte_writer.h"
#include "common/counted_list.h"
#include "groups/event_group.h"
#include "silence/sound_policy.h"

namespace hush::bench {

std::vector<std::uint8_t> groupPayload(std::uint32_t size, std::uint32_t entrySize, std::uint32_t fixedSize) {
  using Header = CountedListHeader;
  const std::uint32_t count = size < Header::kSize ? 0 : (size - Header::kSize) / (entrySize + Header::kItemSize);
  std::vector<std::uint8_t> out;
  out.reserve(size);
  Header{EventGroup::kMarker, count, count * entrySize, Header::kReservedValue, fixedSize}.append(out);
  const sound::EventLayout layout = sound::eventLayoutOf(fixedSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t start = out.size();
    out.resize(start + entrySize, static_cast<std::uint8_t>(i));
    // Every other entry a sound; the others of a kind that is none.
    const std::uint32_t kind = i % 2 == 1 ? layout.soundKind : layout.soundKind + 1;
    if (entrySize >= layout.kindAt + 4) storeWord32(out.data() + start + layout.kindAt, kind);
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    appendWord32(out, i * entrySize);
    appendWord32(out, entrySize);
  }
  out.resize(size, 0);  // what is left after the table is padding the codec ignores
  return out;
}

}  // namespace hush::bench
