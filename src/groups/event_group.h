// An event group: the payload of a GGFR or GGAE chunk, a counted list of
// opaque entries. Reading accepts entries that lie anywhere in the data
// area; writing always produces the normal form, entries back to back in
// order.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "common/counted_list.h"
#include "groups/errors.h"

namespace hush {

// One entry of a group: a view of its bytes, valid while the group lives
// and is not changed.
using GroupEntry = std::span<const std::uint8_t>;

class EventGroup {
 public:
  static constexpr std::uint32_t kMarker = 0x03030001;
  static constexpr std::uint32_t kHeaderSize = CountedListHeader::kSize;

  EventGroup() = default;
  // Reads a whole group payload; throws LoadError when it is not one.
  explicit EventGroup(const std::vector<std::uint8_t>& payload);

  void parse(const std::vector<std::uint8_t>& payload);
  // Replaces the contents of `out` with the group in normal form.
  void serialize(std::vector<std::uint8_t>& out) const;
  // Length of what serialize writes.
  std::uint64_t serializedSize() const;
  // Drops every sound event (silence/sound_policy.h tells which they are).
  void removeSoundEvents();

  std::uint32_t fixedSize() const { return fixedSize_; }
  std::size_t entryCount() const { return spans_.size(); }
  GroupEntry entry(std::size_t index) const;

  void setFixedSize(std::uint32_t fixedSize) { fixedSize_ = fixedSize; }
  void addEntry(std::span<const std::uint8_t> bytes);

 private:
  struct Span {
    std::uint32_t offset;
    std::uint32_t size;
  };

  // The payload's data area, copied once; entries are spans into it, so
  // entries that share bytes cost nothing extra.
  std::vector<std::uint8_t> data_;
  std::vector<Span> spans_;
  std::uint32_t fixedSize_ = 0;
};

}  // namespace hush
