// The lowest and highest number in use for each tag of a store.
#pragma once

#include <array>
#include <cstddef>
#include <map>
#include <vector>

#include "chunky/chunk.h"
#include "chunky/chunk_types.h"

namespace hush {

class TagRanges {
 public:
  // Widens the range of `tag` to hold `number`; a new tag gets a range of
  // its own, after those already listed.
  void note(ChunkTag tag, ChunkNumber number);
  // The ranges of exactly the records in `chunks`.
  void rebuild(const std::vector<Chunk>& chunks);
  void clear();
  // Whether deleting a record of `tag` numbered `number` may narrow a
  // range (or `tag` has none).
  bool atAnEdge(ChunkTag tag, ChunkNumber number) const;
  const std::vector<TagRange>& list() const { return ranges_; }

 private:
  std::vector<TagRange> ranges_;
  // Tag -> its place in ranges_. Ordered, not hashed: a document picks its
  // tags, and must not be able to pick a thousand that collide.
  std::map<ChunkTag, std::size_t> rangeOfTag_;
  // The tags seen last, by a hash of the tag, each with its place in
  // ranges_ plus one (0: empty).
  struct RecentTag {
    ChunkTag tag = 0;
    std::size_t place = 0;
  };
  static constexpr int kRecentTagBits = 4;
  std::array<RecentTag, std::size_t{1} << kRecentTagBits> recentTags_{};
};

}  // namespace hush
