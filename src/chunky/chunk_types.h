// The small value types of the chunk store.
#pragma once

#include <cstdint>
#include <string>

namespace hush {

// A chunk's type: four ASCII characters, the first in the most significant
// byte, compared as a whole number.
using ChunkTag = std::uint32_t;
using ChunkNumber = std::uint32_t;
using ChildId = std::uint32_t;

constexpr ChunkTag makeTag(const char (&text)[5]) {
  return (static_cast<ChunkTag>(static_cast<unsigned char>(text[0])) << 24) |
         (static_cast<ChunkTag>(static_cast<unsigned char>(text[1])) << 16) |
         (static_cast<ChunkTag>(static_cast<unsigned char>(text[2])) << 8) |
         static_cast<ChunkTag>(static_cast<unsigned char>(text[3]));
}

// The four characters of `tag`, first character first; bytes that are not
// printable ASCII show as '?'.
inline std::string tagText(ChunkTag tag) {
  std::string text;
  for (int shift = 24; shift >= 0; shift -= 8) {
    const auto c = static_cast<char>((tag >> shift) & 0xFF);
    text.push_back(c >= 0x20 && c < 0x7F ? c : '?');
  }
  return text;
}

// A parent's link to one of its children, named by the child's tag and
// number. The order of a chunk's links is by childId (as a signed number),
// then by tag.
struct ChildLink {
  ChunkTag tag = 0;
  ChunkNumber number = 0;
  ChildId childId = 0;
  friend bool operator==(const ChildLink&, const ChildLink&) = default;
};

// -1, 0 or 1 as `a` orders before, with, or after `b` among one chunk's links.
constexpr int compareLinkOrder(const ChildLink& a, const ChildLink& b) {
  const auto idA = static_cast<std::int32_t>(a.childId);
  const auto idB = static_cast<std::int32_t>(b.childId);
  if (idA != idB) return idA < idB ? -1 : 1;
  if (a.tag != b.tag) return a.tag < b.tag ? -1 : 1;
  return 0;
}

// The lowest and highest chunk number in use for one tag.
struct TagRange {
  ChunkTag tag = 0;
  ChunkNumber lowNumber = 0;
  ChunkNumber highNumber = 0;
  friend bool operator==(const TagRange&, const TagRange&) = default;
};

// Where one record's payload lies: a range of the open file, or bytes held
// in memory (`inFile` false, `pos` 0).
struct PayloadSpan {
  ChunkTag tag = 0;
  std::uint32_t pos = 0;
  std::uint32_t size = 0;
  bool inFile = false;
};

// What describeCurrent tells about the selected chunk.
struct ChunkInfo {
  ChunkTag tag = 0;
  ChunkNumber number = 0;
  std::uint8_t packed = 0;
  std::uint32_t payloadSize = 0;
  std::uint16_t linkCount = 0;
};

constexpr std::uint16_t kNoLink = 0xFFFF;

}  // namespace hush
