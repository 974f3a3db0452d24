#include "groups/event_group.h"

#include <algorithm>
#include <cstring>

#include "common/byte_reader.h"
#include "common/counted_list.h"
#include "silence/sound_policy.h"

namespace hush {

EventGroup::EventGroup(const std::vector<std::uint8_t>& payload) { parse(payload); }

void EventGroup::parse(const std::vector<std::uint8_t>& payload) {
  data_.clear();
  spans_.clear();
  ByteReader in(payload);
  // The marker is judged first, on its own: a foreign payload of any length
  // is "Bad marker", whatever else it holds.
  if (payload.size() >= 4 && in.u32() != kMarker) throw LoadError("Bad marker");
  if (payload.size() < kHeaderSize) throw LoadError("Group payload too short for its header");
  in.seek(0);
  // The reserved word is not looked at.
  const auto header = CountedListHeader::read(in);
  if (!header.dataFits(payload.size())) throw LoadError("Group data area runs past the end of the payload");
  if (!header.tableFits(payload.size())) throw LoadError("Group entry table runs past the end of the payload");

  // Entries may lie anywhere in the payload, header and table included.
  std::vector<Span> spans(header.entryCount);
  in.seek(header.tableStart());
  for (auto& span : spans) {
    span.offset = in.u32();
    span.size = in.u32();
    if (!rangeFits(std::uint64_t{kHeaderSize} + span.offset, span.size, payload.size())) {
      throw LoadError("Group entry lies outside the payload");
    }
  }
  data_.assign(payload.begin() + kHeaderSize, payload.end());
  spans_ = std::move(spans);
  fixedSize_ = header.fixedSize;
}

std::uint64_t EventGroup::serializedSize() const {
  std::uint64_t size = kHeaderSize + std::uint64_t{CountedListHeader::kItemSize} * spans_.size();
  for (const auto& span : spans_) size += span.size;
  return size;
}

void EventGroup::serialize(std::vector<std::uint8_t>& out) const {
  // A group whose entries share bytes can grow on writing; beyond what a
  // 32-bit size can describe it cannot be written at all.
  const std::uint64_t total = serializedSize();
  if (total > 0xFFFFFFFF) throw Error("Group too large to write");
  const auto count = static_cast<std::uint32_t>(spans_.size());
  const auto dataSize =
      static_cast<std::uint32_t>(total - kHeaderSize - std::uint64_t{CountedListHeader::kItemSize} * count);
  // Everything is written in one pass into its final place: pushing the
  // bytes one entry at a time costs several times more.
  out.resize(static_cast<std::size_t>(total));
  std::uint8_t* header = out.data();
  CountedListHeader{kMarker, count, dataSize, CountedListHeader::kReservedValue, fixedSize_}.store(header);
  std::uint8_t* entryAt = header + kHeaderSize;
  std::uint8_t* tableAt = entryAt + dataSize;
  std::uint32_t offset = 0;
  for (const auto& span : spans_) {
    if (span.size != 0) std::memcpy(entryAt, data_.data() + span.offset, span.size);
    entryAt += span.size;
    storeWord32(tableAt, offset);
    storeWord32(tableAt + 4, span.size);
    tableAt += CountedListHeader::kItemSize;
    offset += span.size;
  }
}

void EventGroup::removeSoundEvents() {
  std::erase_if(spans_, [&](const Span& span) {
    return sound::isSoundEvent(GroupEntry(data_).subspan(span.offset, span.size), fixedSize_);
  });
}

GroupEntry EventGroup::entry(std::size_t index) const {
  const Span& span = spans_.at(index);
  return GroupEntry(data_).subspan(span.offset, span.size);
}

void EventGroup::addEntry(std::span<const std::uint8_t> bytes) {
  const auto offset = static_cast<std::uint32_t>(data_.size());
  data_.insert(data_.end(), bytes.begin(), bytes.end());
  spans_.push_back(Span{offset, static_cast<std::uint32_t>(bytes.size())});
}

}  // namespace hush
