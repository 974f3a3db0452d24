// What silencing a movie takes out of it. The stripping pass and
// everything that checks its work ask here, so the rule is said once.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "chunky/chunk_types.h"
#include "common/byte_reader.h"

namespace hush::sound {

// Chunks that are sounds: deleted whole.
inline constexpr std::array<ChunkTag, 3> kSoundChunks{makeTag("WAVE"), makeTag("MSND"), makeTag("MIDS")};
// Movies and scenes lose their links to the sound chunk they play.
inline constexpr std::array<ChunkTag, 2> kSoundLinkers{makeTag("MVIE"), makeTag("SCEN")};
inline constexpr ChunkTag kLinkedSound = makeTag("MSND");
// Chunks whose payload is an event group, which loses its sound events.
inline constexpr std::array<ChunkTag, 2> kEventGroups{makeTag("GGFR"), makeTag("GGAE")};

// Without branches: a store's tags come mixed, and a movie's are few.
template <std::size_t N>
constexpr bool isOneOf(ChunkTag tag, const std::array<ChunkTag, N>& tags) {
  bool match = false;
  for (const ChunkTag candidate : tags) match |= tag == candidate;
  return match;
}

constexpr bool isSoundChunk(ChunkTag tag) { return isOneOf(tag, kSoundChunks); }
constexpr bool linksToSounds(ChunkTag tag) { return isOneOf(tag, kSoundLinkers); }
constexpr bool holdsEventGroup(ChunkTag tag) { return isOneOf(tag, kEventGroups); }

// Events come in two layouts, told apart by the group's fixedSize alone
// (the chunk's tag plays no part): groups with an 8-byte fixed part give an
// event's kind in its second word, and a sound is kind 1; every other group
// gives it in the first word, and a sound is kind 6.
struct EventLayout {
  std::size_t kindAt;
  std::uint32_t soundKind;
};
inline constexpr std::uint32_t kShortFixedPart = 8;
inline constexpr EventLayout kKindInSecondWord{4, 1};
inline constexpr EventLayout kKindInFirstWord{0, 6};
// Both layouts want a whole 12-byte fixed part, even the one whose kind
// ends at byte 7: anything shorter is never a sound event.
inline constexpr std::size_t kSoundEventMinSize = 12;

constexpr EventLayout eventLayoutOf(std::uint32_t fixedSize) {
  return fixedSize == kShortFixedPart ? kKindInSecondWord : kKindInFirstWord;
}

inline bool isSoundEvent(std::span<const std::uint8_t> entry, std::uint32_t fixedSize) {
  if (entry.size() < kSoundEventMinSize) return false;
  const EventLayout layout = eventLayoutOf(fixedSize);
  ByteReader in(entry);
  in.skip(layout.kindAt);
  return in.u32() == layout.soundKind;
}

}  // namespace hush::sound
