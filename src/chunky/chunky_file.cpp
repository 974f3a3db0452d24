#include "chunky/chunky_file.h"

#include <algorithm>

namespace hush {
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
  keys_.release();
  tagRanges_.clear();
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

std::int32_t ChunkyFile::findChunk(ChunkTag tag, ChunkNumber number) const {
  return isOpen_ ? keys_.find(chunks_, tagRanges_.list(), tag, number) : -1;
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
  pendingLowering_.push_back(KeyIndex::keyOf(link.tag, link.number));
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
    if (tagged(link)) pendingLowering_.push_back(KeyIndex::keyOf(link.tag, link.number));
  }
  std::erase_if(chunk->links, tagged);
  chunk->selectedLink = kNoLink;
  return removed;
}

bool ChunkyFile::deleteCurrent() {
  if (currentChunk() == nullptr) return false;
  settleLowering();
  const auto at = chunks_.begin() + current_;
  const bool needsRebuild = tagRanges_.atAnEdge(at->tag, at->number);
  chunks_.erase(at);
  keys_.forget();
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
  if (!std::all_of(pendingLowering_.begin(), pendingLowering_.end(), lowersDoomed)) {
    keys_.entries(chunks_, tagRanges_.list());
  }
  std::erase_if(pendingLowering_, lowersDoomed);
  settleLowering();
  const std::size_t removed = std::erase_if(chunks_, doomed);
  if (removed > 0) {
    keys_.forget();
    // Deleting one record at a time keeps every range exact; one rebuild
    // over what is left gives the same ranges.
    rebuildTagRanges();
  }
  current_ = -1;
  return removed;
}

void ChunkyFile::rebuildTagRanges() { tagRanges_.rebuild(chunks_); }

}  // namespace hush
