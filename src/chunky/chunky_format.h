// The on-disk records of a chunky file: a 128-byte header, the payloads,
// then the index (a container header, the descriptor records, and a table
// of (offset, size) items). Decoders take bytes already read and refuse
// through their result; encoders append to a byte vector.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "chunky/chunk_types.h"
#include "common/byte_reader.h"
#include "common/counted_list.h"

namespace hush::format {

constexpr std::uint32_t kFileHeaderSize = 128;
constexpr std::uint32_t kIndexHeaderSize = CountedListHeader::kSize;
constexpr std::uint32_t kDescriptorSize = 20;
constexpr std::uint32_t kLinkSize = 12;
constexpr std::uint32_t kEntrySize = CountedListHeader::kItemSize;

constexpr std::uint32_t kMagic = 0x324E4843;  // the bytes "CHN2"
constexpr std::uint32_t kNarrowFormat = 0x03030001;
constexpr std::uint32_t kWideFormat = 0x05050001;
constexpr std::uint32_t kIndexReserved = CountedListHeader::kReservedValue;
constexpr std::uint32_t kIndexFixedSize = 20;

constexpr std::uint16_t kNarrowNameMarker = 0x0303;
constexpr std::uint16_t kWideNameMarker = 0x0505;
constexpr std::size_t kMaxNarrowName = 0xFF;
constexpr std::size_t kMaxWideName = 0xFFFF;

constexpr std::uint32_t kMaxPayload = 0xFFFFFF;  // dataLength has 24 bits
constexpr std::size_t kMaxLinks = 0xFFFF;

constexpr bool isFormatCode(std::uint32_t code) { return code == kNarrowFormat || code == kWideFormat; }

struct FileHeader {
  std::uint32_t magic = kMagic;
  std::uint32_t headerId = 0;
  std::uint16_t headerWord1 = 0;
  std::uint16_t headerWord2 = 0;
  std::uint32_t formatCode = 0;
  std::uint32_t totalSize = 0;
  std::uint32_t indexStart = 0;
  std::uint32_t indexLength = 0;
  std::uint32_t totalSize2 = 0;
};

// The index is a counted list of descriptor records.
using IndexHeader = CountedListHeader;

struct ChunkDescriptor {
  ChunkTag tag = 0;
  ChunkNumber number = 0;
  std::uint32_t dataPos = 0;
  std::uint8_t flags = 0;
  std::uint32_t dataLength = 0;  // 24 bits on disk
  std::uint16_t linkCount = 0;
  std::uint16_t refCount = 0;
};

struct IndexEntry {
  std::uint32_t offset = 0;
  std::uint32_t size = 0;
};

enum class NameForm : std::uint32_t { None = 0, Narrow = 1, Wide = 2 };

struct NameRecord {
  std::u16string name;  // cut at its first zero unit
  bool wide = false;
};

// Readers: each reads its record from `in` and leaves the reader failed when
// the bytes run out.
FileHeader readFileHeader(ByteReader& in);
ChunkDescriptor readDescriptor(ByteReader& in);
ChildLink readLink(ByteReader& in);
IndexEntry readIndexEntry(ByteReader& in);
// The name that follows a descriptor and its links, found by the record's
// `size`: `in` stands right after the links, `need` is 20 + 12 x linkCount.
std::optional<NameRecord> readName(ByteReader& in, std::uint32_t need, std::uint32_t size);

// Writers.
void writeFileHeader(std::vector<std::uint8_t>& out, const FileHeader& header);
void writeDescriptor(std::vector<std::uint8_t>& out, const ChunkDescriptor& descriptor);
void writeLink(std::vector<std::uint8_t>& out, const ChildLink& link);
void writeIndexEntry(std::vector<std::uint8_t>& out, const IndexEntry& entry);
// Writes the name record in `form` followed by the padding to a multiple of 4.
void writeName(std::vector<std::uint8_t>& out, NameForm form, const std::u16string& name);

// Length of a record without padding, and the padding after it.
std::uint64_t recordSize(std::size_t linkCount, NameForm form, std::size_t nameLength);
constexpr std::uint64_t paddingAfter(std::uint64_t size) { return (4 - size % 4) % 4; }

// The descriptor flags a writer computes from a chunk's payload and parents.
constexpr std::uint8_t descriptorFlags(bool pothMarked, bool packed, std::uint16_t refCount) {
  if (pothMarked) return 0x12;
  return static_cast<std::uint8_t>((refCount == 0 ? 0x02 : 0x00) | (packed ? 0x04 : 0x00));
}

// The two properties of a payload that show in its leading bytes.
struct PayloadMarks {
  bool packed = false;
  bool pothMarked = false;
};
// `head` is the payload's first bytes (up to 8), `size` its whole length.
PayloadMarks payloadMarks(std::span<const std::uint8_t> head, std::uint64_t size);

}  // namespace hush::format
