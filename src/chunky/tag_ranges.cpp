#include "chunky/tag_ranges.h"

#include <algorithm>

namespace hush {

void TagRanges::note(ChunkTag tag, ChunkNumber number) {
  // A movie's few tags stay in the small table, whose one branch is taken
  // every time, however the records' tags are mixed; the ordered map is
  // asked only on a miss.
  auto& recent = recentTags_[(tag * 0x9E3779B1u) >> (32 - kRecentTagBits)];
  if (recent.place == 0 || recent.tag != tag) {
    const auto [at, isNew] = rangeOfTag_.try_emplace(tag, ranges_.size());
    if (isNew) ranges_.push_back(TagRange{tag, number, number});
    recent = RecentTag{tag, at->second + 1};
  }
  auto& range = ranges_[recent.place - 1];
  range.lowNumber = std::min(range.lowNumber, number);
  range.highNumber = std::max(range.highNumber, number);
}

void TagRanges::clear() {
  ranges_.clear();
  rangeOfTag_.clear();
  recentTags_ = {};
}

void TagRanges::rebuild(const std::vector<Chunk>& chunks) {
  clear();
  for (const auto& chunk : chunks) note(chunk.tag, chunk.number);
}

bool TagRanges::atAnEdge(ChunkTag tag, ChunkNumber number) const {
  const auto range = rangeOfTag_.find(tag);
  return range == rangeOfTag_.end() || number == ranges_[range->second].lowNumber ||
         number == ranges_[range->second].highNumber;
}

}  // namespace hush
