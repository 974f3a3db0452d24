#include "chunky/chunky_file.h"

#include <algorithm>
#include <bit>

#include "common/radix_sort.h"

namespace hush {
namespace {

std::uint64_t lookupKey(ChunkTag tag, ChunkNumber number) { return (std::uint64_t{tag} << 32) | number; }

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
    lookup[k] = Entry{lookupKey(tags[key >> numberBits], static_cast<ChunkNumber>(key & numberMask)), shorts[k].index};
  }
}

}  // namespace

ChunkyFile::ChunkyFile(FileSystem& fileSystem) : fileSystem_(fileSystem) {}

ChunkyFile::~ChunkyFile() { reset(); }

void ChunkyFile::releaseStream() {
  if (file_) file_->close();
  file_.reset();
}

bool ChunkyFile::close() {
  if (!isOpen_) return false;
  reset();
  return true;
}

// Everything a document left in the store goes, whichever way it leaves:
// closed, refused, or the store destroyed. A store opened again starts
// from nothing.
void ChunkyFile::reset() {
  pendingLowering_ = {};
  chunks_ = {};
  lookup_ = {};
  forgetLookup();
  forgetTagRanges();
  releaseStream();
  path_.clear();
  isOpen_ = false;
  current_ = -1;
  fileLength_ = 0;
  fileStamp_.reset();
  headerId_ = 0;
  headerWord1_ = 0;
  headerWord2_ = 0;
  formatCode_ = 0;
}

Chunk* ChunkyFile::currentChunk() {
  if (!isOpen_ || current_ < 0) return nullptr;
  return &chunks_[static_cast<std::size_t>(current_)];
}

const Chunk* ChunkyFile::currentChunk() const {
  if (!isOpen_ || current_ < 0) return nullptr;
  return &chunks_[static_cast<std::size_t>(current_)];
}

std::uint32_t ChunkyFile::chunkCount() const {
  return isOpen_ ? static_cast<std::uint32_t>(chunks_.size()) : 0;
}

bool ChunkyFile::selectChunk(std::uint32_t index) {
  if (!isOpen_ || index >= chunks_.size()) return false;
  current_ = static_cast<std::int32_t>(index);
  return true;
}

bool ChunkyFile::describeCurrent(ChunkInfo& info) const {
  const Chunk* chunk = currentChunk();
  if (chunk == nullptr) return false;
  info.tag = chunk->tag;
  info.number = chunk->number;
  info.packed = chunk->packed ? 1 : 0;
  info.payloadSize = chunk->payloadSize();
  info.linkCount = static_cast<std::uint16_t>(chunk->linkCount());
  return true;
}

std::uint32_t ChunkyFile::currentPayloadSize() const {
  const Chunk* chunk = currentChunk();
  return chunk == nullptr ? 0 : chunk->payloadSize();
}

std::vector<PayloadSpan> ChunkyFile::payloadSpans() const {
  settleLowering();
  std::vector<PayloadSpan> spans(chunks_.size());
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    const Chunk& chunk = chunks_[i];
    spans[i] = PayloadSpan{chunk.tag, chunk.inFile ? chunk.filePos : 0, chunk.payloadSize(), chunk.inFile};
  }
  return spans;
}

bool ChunkyFile::readCurrentPayload(std::span<std::uint8_t> destination) const {
  const Chunk* chunk = currentChunk();
  return chunk != nullptr && chunk->readPayload(file_.get(), destination);
}

std::uint16_t ChunkyFile::currentLinkCount() const {
  const Chunk* chunk = currentChunk();
  return chunk == nullptr ? 0 : static_cast<std::uint16_t>(chunk->linkCount());
}

std::vector<ChildLink> ChunkyFile::currentLinks() const {
  const Chunk* chunk = currentChunk();
  return chunk == nullptr ? std::vector<ChildLink>{} : chunk->links;
}

const std::vector<ChunkyFile::LookupEntry>& ChunkyFile::keyOrder() const {
  if (lookupValid_) return lookup_;
  lookup_.clear();
  lookup_.reserve(chunks_.size());
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    lookup_.push_back(LookupEntry{lookupKey(chunks_[i].tag, chunks_[i].number), static_cast<std::int32_t>(i)});
  }
  // Stable: of equal keys the earliest record stays first. A store in
  // (tag, number) order, as every saved one is, needs no sorting.
  const auto byKey = [](const LookupEntry& a, const LookupEntry& b) { return a.key < b.key; };
  if (!std::is_sorted(lookup_.begin(), lookup_.end(), byKey)) sortByKey(lookup_, tagRanges_);
  lookupValid_ = true;
  return lookup_;
}

std::int32_t ChunkyFile::findChunk(ChunkTag tag, ChunkNumber number) const {
  if (!isOpen_) return -1;
  const auto& lookup = keyOrder();
  if (lookup.empty()) return -1;
  // The first entry not below the key. Without branches, and with both
  // halves of the next step already on their way from memory: lookups in
  // a store in no order land anywhere in a large table.
  const std::uint64_t wanted = lookupKey(tag, number);
  const LookupEntry* base = lookup.data();
  for (std::size_t n = lookup.size(); n > 1;) {
    const std::size_t half = n / 2;
    __builtin_prefetch(base + half / 2);
    __builtin_prefetch(base + half + half / 2);
    base = base[half - 1].key < wanted ? base + half : base;
    n -= half;
  }
  return base->key == wanted ? base->index : -1;
}

bool ChunkyFile::replaceCurrentPayload(std::span<const std::uint8_t> bytes) {
  Chunk* chunk = currentChunk();
  if (chunk == nullptr) return false;
  chunk->setPayload(bytes);
  return true;
}

bool ChunkyFile::selectCurrentLink(std::uint16_t index) {
  Chunk* chunk = currentChunk();
  return chunk != nullptr && chunk->selectLink(index);
}

// Room to note `count` more lowerings; the waiting ones are made first when
// there would be more than records, so that many links unlinked cost a
// lookup now and then, not memory without bound. All an unlink can fail at
// happens here, before it changes anything.
void ChunkyFile::makeRoomToLower(std::size_t count) {
  if (pendingLowering_.size() + count > chunks_.size()) settleLowering();
  const std::size_t need = pendingLowering_.size() + count;
  if (need > pendingLowering_.capacity()) pendingLowering_.reserve(std::max(need, 2 * pendingLowering_.capacity()));
}

// Lowers the counts unlinks left waiting, each in the record its key names
// now, as it would have been at the unlink: no edit in between changed
// which record that is. Only the lookup allocates, so a failure leaves
// every lowering still waiting.
void ChunkyFile::settleLowering() const {
  if (pendingLowering_.empty()) return;
  for (const std::uint64_t key : pendingLowering_) {
    const std::int32_t child = findChunk(static_cast<ChunkTag>(key >> 32), static_cast<ChunkNumber>(key));
    if (child < 0) continue;
    auto& count = chunks_[static_cast<std::size_t>(child)].refCount;
    if (count > 0) --count;  // a count never wraps to 65535 parents
  }
  pendingLowering_ = {};
}

bool ChunkyFile::unlinkSelected() {
  Chunk* chunk = currentChunk();
  ChildLink link;
  if (chunk == nullptr || !chunk->selectedLinkValue(link)) return false;
  makeRoomToLower(1);
  pendingLowering_.push_back(lookupKey(link.tag, link.number));
  return chunk->eraseSelectedLink();
}

std::size_t ChunkyFile::unlinkCurrentLinksTagged(ChunkTag tag) {
  Chunk* chunk = currentChunk();
  if (chunk == nullptr) return 0;
  const auto tagged = [tag](const ChildLink& link) { return link.tag == tag; };
  const auto removed = static_cast<std::size_t>(std::count_if(chunk->links.begin(), chunk->links.end(), tagged));
  if (removed == 0) return 0;
  makeRoomToLower(removed);
  for (const auto& link : chunk->links) {
    if (tagged(link)) pendingLowering_.push_back(lookupKey(link.tag, link.number));
  }
  std::erase_if(chunk->links, tagged);
  chunk->selectedLink = kNoLink;
  return removed;
}

bool ChunkyFile::deleteCurrent() {
  if (currentChunk() == nullptr) return false;
  settleLowering();
  const auto at = chunks_.begin() + current_;
  const auto range = rangeOfTag_.find(at->tag);
  const bool needsRebuild = range == rangeOfTag_.end() || at->number == tagRanges_[range->second].lowNumber ||
                            at->number == tagRanges_[range->second].highNumber;
  chunks_.erase(at);
  forgetLookup();
  if (needsRebuild) rebuildTagRanges();
  current_ = -1;
  return true;
}

std::size_t ChunkyFile::deleteChunksTagged(std::span<const ChunkTag> tags) {
  if (!isOpen_) return 0;
  // Without branches: in a store in no order, doomed and kept alternate at
  // random.
  const auto doomedTag = [&](ChunkTag tag) {
    bool match = false;
    for (const ChunkTag candidate : tags) match |= tag == candidate;
    return match;
  };
  const auto doomed = [&](const Chunk& chunk) { return doomedTag(chunk.tag); };
  // A lowering waiting for a record deleted here would change nothing
  // anybody sees; the others are made before the records move, with the
  // lookup they need built before any of them is dropped.
  const auto lowersDoomed = [&](std::uint64_t key) { return doomedTag(static_cast<ChunkTag>(key >> 32)); };
  if (!std::all_of(pendingLowering_.begin(), pendingLowering_.end(), lowersDoomed)) keyOrder();
  std::erase_if(pendingLowering_, lowersDoomed);
  settleLowering();
  const std::size_t removed = std::erase_if(chunks_, doomed);
  if (removed > 0) {
    forgetLookup();
    // Deleting one record at a time keeps every range exact; one rebuild
    // over what is left gives the same ranges.
    rebuildTagRanges();
  }
  current_ = -1;
  return removed;
}

void ChunkyFile::noteNumber(ChunkTag tag, ChunkNumber number) {
  // A movie's few tags stay in the small table, whose one branch is taken
  // every time, however the records' tags are mixed; the ordered map is
  // asked only on a miss.
  auto& recent = recentTags_[(tag * 0x9E3779B1u) >> (32 - kRecentTagBits)];
  if (recent.place == 0 || recent.tag != tag) {
    const auto [at, isNew] = rangeOfTag_.try_emplace(tag, tagRanges_.size());
    if (isNew) tagRanges_.push_back(TagRange{tag, number, number});
    recent = RecentTag{tag, at->second + 1};
  }
  auto& range = tagRanges_[recent.place - 1];
  range.lowNumber = std::min(range.lowNumber, number);
  range.highNumber = std::max(range.highNumber, number);
}

void ChunkyFile::forgetTagRanges() {
  tagRanges_.clear();
  rangeOfTag_.clear();
  recentTags_ = {};
}

void ChunkyFile::rebuildTagRanges() {
  forgetTagRanges();
  for (const auto& chunk : chunks_) noteNumber(chunk.tag, chunk.number);
}

}  // namespace hush
