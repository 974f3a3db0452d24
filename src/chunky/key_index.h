// Every record's key, (tag, number), with its place in the store, in key
// order: what lookups search and what a save writes its records in.
#pragma once

#include <cstdint>
#include <vector>

#include "chunky/chunk.h"
#include "chunky/chunk_types.h"

namespace hush {

class KeyIndex {
 public:
  struct Entry {
    std::uint64_t key;
    std::int32_t index;
  };

  static std::uint64_t keyOf(ChunkTag tag, ChunkNumber number) { return (std::uint64_t{tag} << 32) | number; }

  // The entries of `chunks`, sorted by key, the first index in store order
  // first; built when first asked for after the records moved. `ranges`
  // are the store's tag ranges, which make most keys sort in 32 bits.
  const std::vector<Entry>& entries(const std::vector<Chunk>& chunks, const std::vector<TagRange>& ranges);
  // The place of the first record with this key, or -1. Binary search
  // costs the same whatever numbers a document chose.
  std::int32_t find(const std::vector<Chunk>& chunks, const std::vector<TagRange>& ranges, ChunkTag tag,
                    ChunkNumber number);
  // The records moved: the entries are rebuilt when next asked for.
  void forget() { valid_ = false; }
  // Gives back the entries' memory.
  void release() {
    entries_ = {};
    valid_ = false;
  }

 private:
  std::vector<Entry> entries_;
  bool valid_ = false;
};

}  // namespace hush
