// The counted list that both a document's index and every event group are
// made of: a 20-byte header (marker, entryCount, dataSize, reserved,
// fixedSize), a data area of dataSize bytes, then a table of entryCount
// 8-byte (offset, size) items. Each user judges the header with its own
// rules; what they share is the layout and the arithmetic.
#pragma once

#include <cstdint>
#include <vector>

#include "common/byte_reader.h"
#include "common/byte_writer.h"

namespace hush {

struct CountedListHeader {
  static constexpr std::uint32_t kSize = 20;
  static constexpr std::uint32_t kItemSize = 8;
  // Writers leave reserved at this; readers do not all insist on it.
  static constexpr std::uint32_t kReservedValue = 0xFFFFFFFF;

  std::uint32_t marker = 0;
  std::uint32_t entryCount = 0;
  std::uint32_t dataSize = 0;
  std::uint32_t reserved = kReservedValue;
  std::uint32_t fixedSize = 0;

  // Offsets from the start of the header, in 64 bits: counts read from a
  // file may be anything.
  std::uint64_t tableStart() const { return std::uint64_t{kSize} + dataSize; }
  std::uint64_t tableLength() const { return std::uint64_t{kItemSize} * entryCount; }
  // Whether the data area, and the table after it, end within `length`
  // bytes from the start of the header.
  bool dataFits(std::uint64_t length) const { return rangeFits(kSize, dataSize, length); }
  bool tableFits(std::uint64_t length) const { return rangeFits(tableStart(), tableLength(), length); }

  static CountedListHeader read(ByteReader& in) {
    CountedListHeader h;
    h.marker = in.u32();
    h.entryCount = in.u32();
    h.dataSize = in.u32();
    h.reserved = in.u32();
    h.fixedSize = in.u32();
    return h;
  }

  // Writes the header at `at`, which must have room for kSize bytes.
  void store(std::uint8_t* at) const {
    for (const std::uint32_t word : {marker, entryCount, dataSize, reserved, fixedSize}) {
      storeWord32(at, word);
      at += 4;
    }
  }

  void append(std::vector<std::uint8_t>& out) const {
    out.resize(out.size() + kSize);
    store(out.data() + out.size() - kSize);
  }
};

}  // namespace hush
