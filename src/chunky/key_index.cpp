#include "chunky/key_index.h"

#include <algorithm>
#include <bit>

#include "common/radix_sort.h"

namespace hush {
namespace {

// How many of `sorted` are below `value`, without branches to mispredict
// when the values come in no order.
std::size_t rankAmong(const std::vector<ChunkTag>& sorted, ChunkTag value) {
  std::size_t rank = 0;
  for (std::size_t step = std::bit_floor(sorted.size()); step > 0; step /= 2) {
    rank += rank + step <= sorted.size() && sorted[rank + step - 1] < value ? step : 0;
  }
  return rank;
}

// Sorts lookup entries by key, stably. A movie has a few tags and numbers
// far below 2^32, so a key usually fits 32 bits as (its tag's rank among
// the store's tags, its number), and items half the size sort in half the
// passes. A key that does not fit sends the lot through the 64-bit sort.
template <typename Entry>
void sortByKey(std::vector<Entry>& lookup, const std::vector<TagRange>& ranges) {
  const auto fullKey = [](const Entry& entry) { return entry.key; };
  std::vector<ChunkTag> tags;
  ChunkNumber highest = 0;
  for (const TagRange& range : ranges) {
    tags.push_back(range.tag);
    highest = std::max(highest, range.highNumber);
  }
  std::sort(tags.begin(), tags.end());
  const int numberBits = std::bit_width(highest);
  if (tags.empty() || std::bit_width(tags.size() - 1) + numberBits > 32) {
    radixSort(lookup, fullKey);
    return;
  }
  struct Short {
    std::uint32_t key;
    std::int32_t index;
  };
  std::vector<Short> shorts(lookup.size());
  for (std::size_t i = 0; i < lookup.size(); ++i) {
    const auto tag = static_cast<ChunkTag>(lookup[i].key >> 32);
    const auto number = static_cast<ChunkNumber>(lookup[i].key);
    const std::size_t rank = rankAmong(tags, tag);
    if (rank == tags.size() || tags[rank] != tag || number > highest) {
      radixSort(lookup, fullKey);
      return;
    }
    // In 64 bits: a single tag leaves all 32 to the numbers.
    shorts[i] = Short{static_cast<std::uint32_t>(std::uint64_t{rank} << numberBits | number), lookup[i].index};
  }
  radixSort(shorts, [](const Short& entry) { return entry.key; });
  const std::uint64_t numberMask = (std::uint64_t{1} << numberBits) - 1;
  for (std::size_t k = 0; k < shorts.size(); ++k) {
    const std::uint64_t key = shorts[k].key;
    lookup[k] = Entry{KeyIndex::keyOf(tags[key >> numberBits], static_cast<ChunkNumber>(key & numberMask)), shorts[k].index};
  }
}

}  // namespace

const std::vector<KeyIndex::Entry>& KeyIndex::entries(const std::vector<Chunk>& chunks,
                                                      const std::vector<TagRange>& ranges) {
  if (valid_) return entries_;
  entries_.clear();
  entries_.reserve(chunks.size());
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    entries_.push_back(Entry{keyOf(chunks[i].tag, chunks[i].number), static_cast<std::int32_t>(i)});
  }
  // Stable: of equal keys the earliest record stays first. A store in
  // (tag, number) order, as every saved one is, needs no sorting.
  const auto byKey = [](const Entry& a, const Entry& b) { return a.key < b.key; };
  if (!std::is_sorted(entries_.begin(), entries_.end(), byKey)) sortByKey(entries_, ranges);
  valid_ = true;
  return entries_;
}

std::int32_t KeyIndex::find(const std::vector<Chunk>& chunks, const std::vector<TagRange>& ranges, ChunkTag tag,
                            ChunkNumber number) {
  const auto& lookup = entries(chunks, ranges);
  if (lookup.empty()) return -1;
  // The first entry not below the key. Without branches, and with both
  // halves of the next step already on their way from memory: lookups in
  // a store in no order land anywhere in a large table.
  const std::uint64_t wanted = keyOf(tag, number);
  const Entry* base = lookup.data();
  for (std::size_t n = lookup.size(); n > 1;) {
    const std::size_t half = n / 2;
    __builtin_prefetch(base + half / 2);
    __builtin_prefetch(base + half + half / 2);
    base = base[half - 1].key < wanted ? base + half : base;
    n -= half;
  }
  return base->key == wanted ? base->index : -1;
}

}  // namespace hush
