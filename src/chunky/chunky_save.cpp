// Saving. The whole layout is worked out and checked against the limits of
// the format before a byte is written; the bytes then go in one forward
// pass to a new file beside the target, which is synced and only then moved
// onto the target in one step. Until that step the target keeps its old
// bytes, so a failure at any point loses nothing.
#include <algorithm>
#include <numeric>
#include <new>
#include <optional>

#include "chunky/chunky_file.h"
#include "chunky/chunky_format.h"
#include "platform/read_ahead.h"
#include "common/radix_sort.h"

namespace hush {

// Where everything goes in the file being written.
struct SaveLayout {
  // The records in (tag, number) order, with where each payload comes from,
  // so that the payload pass reads one array front to back.
  struct Keyed {
    std::uint32_t index;  // in the store
    std::uint32_t filePos;
    std::uint32_t size;
    bool inFile;
  };
  std::vector<Keyed> byKey;
  std::vector<std::uint32_t> dataPos;
  std::vector<format::IndexEntry> descriptors;  // where each record's descriptor goes
  std::vector<format::NameForm> nameForm;
  format::FileHeader header;
  format::IndexHeader index;
};

namespace {

using format::NameForm;

// The form a name is written in: a name too long for the 8-bit form goes
// in the 16-bit form; one too long for either cannot be written.
std::optional<NameForm> writtenNameForm(const Chunk& chunk) {
  if (chunk.nameForm == NameForm::None) return NameForm::None;
  if (chunk.nameForm == NameForm::Narrow && chunk.name.size() <= format::kMaxNarrowName) return NameForm::Narrow;
  if (chunk.name.size() <= format::kMaxWideName) return NameForm::Wide;
  return std::nullopt;
}

// The records in the store's key order, with where each payload comes
// from: the order payloads and the entry table are written in.
std::vector<SaveLayout::Keyed> orderByKey(const std::vector<Chunk>& chunks, const auto& keyOrder) {
  std::vector<SaveLayout::Keyed> order(keyOrder.size());
  for (std::size_t k = 0; k < order.size(); ++k) {
    const auto index = static_cast<std::uint32_t>(keyOrder[k].index);
    const Chunk& chunk = chunks[index];
    order[k] = SaveLayout::Keyed{index, chunk.filePos, chunk.payloadSize(), chunk.inFile};
  }
  return order;
}

constexpr std::uint64_t kSizeLimit = 0xFFFFFFFF;

// Payloads go back to back after the header, in key order; returns where
// the index starts, or nothing when they cannot all be written.
std::optional<std::uint64_t> placePayloads(const std::vector<Chunk>& chunks, SaveLayout& layout) {
  layout.dataPos.resize(chunks.size());
  std::uint64_t position = format::kFileHeaderSize;
  for (const auto& record : layout.byKey) {
    if (record.size > format::kMaxPayload) return std::nullopt;
    layout.dataPos[record.index] = static_cast<std::uint32_t>(position);
    position += record.size;
    if (position > kSizeLimit) return std::nullopt;
  }
  return position;
}

// Descriptors go in store order; returns the descriptor area's length, or
// nothing when a record cannot be written.
std::optional<std::uint64_t> placeDescriptors(const std::vector<Chunk>& chunks, SaveLayout& layout) {
  const std::size_t n = chunks.size();
  layout.descriptors.resize(n);
  layout.nameForm.resize(n);
  std::uint64_t dataSize = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const Chunk& chunk = chunks[i];
    const auto form = writtenNameForm(chunk);
    if (!form || chunk.links.size() > format::kMaxLinks) return std::nullopt;
    const std::uint64_t size = format::recordSize(chunk.links.size(), *form, chunk.name.size());
    layout.nameForm[i] = *form;
    layout.descriptors[i] = format::IndexEntry{static_cast<std::uint32_t>(dataSize), static_cast<std::uint32_t>(size)};
    dataSize += size + format::paddingAfter(size);
    if (dataSize > kSizeLimit) return std::nullopt;
  }
  return dataSize;
}

// Where everything goes in the file being written; nothing when the
// document exceeds what the format can hold. `carried` holds the header
// fields the document keeps from its source.
std::optional<SaveLayout> planLayout(const std::vector<Chunk>& chunks, std::vector<SaveLayout::Keyed> byKey,
                                     const format::FileHeader& carried) {
  using namespace format;
  SaveLayout layout;
  layout.byKey = std::move(byKey);
  const auto indexStart = placePayloads(chunks, layout);
  const auto dataSize = indexStart ? placeDescriptors(chunks, layout) : std::nullopt;
  if (!dataSize) return std::nullopt;

  const std::uint64_t indexLength = kIndexHeaderSize + *dataSize + std::uint64_t{kEntrySize} * chunks.size();
  if (*indexStart + indexLength > kSizeLimit) return std::nullopt;
  const auto totalSize = static_cast<std::uint32_t>(*indexStart + indexLength);
  layout.header = carried;
  layout.header.totalSize = totalSize;
  layout.header.indexStart = static_cast<std::uint32_t>(*indexStart);
  layout.header.indexLength = static_cast<std::uint32_t>(indexLength);
  layout.header.totalSize2 = totalSize;
  layout.index = IndexHeader{carried.formatCode, static_cast<std::uint32_t>(chunks.size()),
                             static_cast<std::uint32_t>(*dataSize), kIndexReserved, kIndexFixedSize};
  return layout;
}

// How much output a gathering of small payloads covers at once.
constexpr std::size_t kGatherWindow = 16 << 20;
static_assert(format::kMaxPayload <= kGatherWindow, "a gathering must take any one payload");

// Gathers small writes into large ones.
class BufferedOutput {
 public:
  static constexpr std::size_t kBuffer = 1 << 20;

  // Room for a full buffer and a gathering on top, so that it never grows
  // by doubling; no more than the whole document, though.
  BufferedOutput(File& out, std::uint64_t documentSize) : out_(out) {
    buffer_.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(kBuffer + kGatherWindow, documentSize)));
  }

  std::vector<std::uint8_t>& buffer() { return buffer_; }

  bool flushIfFull() { return buffer_.size() < kBuffer || flush(); }

  bool flush() {
    const bool ok = out_.write(buffer_);
    buffer_.clear();
    return ok;
  }

  File& file() { return out_; }

 private:
  File& out_;
  std::vector<std::uint8_t> buffer_;
};

// Payloads at most this long are gathered through the read-ahead window;
// longer ones are copied file to file.
constexpr std::uint32_t kSmallPayload = ReadAhead::kWindow / 4;

// Small payloads from the file and every payload held in memory are
// gathered into the buffer; the rest are copied file to file.
bool isGathered(const SaveLayout::Keyed& record) { return !record.inFile || record.size <= kSmallPayload; }

// Appends the payloads to gather from byKey[k] on, as many as one
// gathering window holds: those in memory at once, those in the file read
// in the order they lie there, whatever order they are written in. In-memory
// payloads among them (rewritten groups) do not end the gathering, so the
// file is not walked once more for the few small payloads after them.
// Returns the next k.
std::optional<std::size_t> gatherPayloads(BufferedOutput& output, ReadAhead& window, const std::vector<Chunk>& chunks,
                                          const std::vector<SaveLayout::Keyed>& byKey, std::size_t k) {
  struct Read {
    std::uint32_t from;  // position in the source
    std::uint32_t size;
    std::size_t to;  // place in the buffer
  };
  auto& buffer = output.buffer();
  const std::size_t base = buffer.size();
  std::vector<Read> reads;
  // The first always fits (see kGatherWindow).
  for (; k < byKey.size() && isGathered(byKey[k]); ++k) {
    const SaveLayout::Keyed& record = byKey[k];
    if (buffer.size() - base + record.size > kGatherWindow) break;
    if (record.inFile) {
      reads.push_back(Read{record.filePos, record.size, buffer.size()});
      buffer.resize(buffer.size() + record.size);
    } else {
      const auto& bytes = chunks[record.index].memData;
      buffer.insert(buffer.end(), bytes.begin(), bytes.end());
    }
  }
  // The window needs them in order of granule only.
  const auto granule = [](const Read& read) { return read.from / ReadAhead::kGranule; };
  const auto before = [&](const Read& a, const Read& b) { return granule(a) < granule(b); };
  if (!std::is_sorted(reads.begin(), reads.end(), before)) radixSort(reads, granule);
  // Where the source lies in another order than the keys, the places the
  // reads land are scattered over the window: each is asked for a few
  // reads early, so that the waits for them overlap.
  constexpr std::size_t kAhead = 8;
  for (std::size_t r = 0; r < reads.size(); ++r) {
    if (r + kAhead < reads.size()) __builtin_prefetch(buffer.data() + reads[r + kAhead].to, 1);
    const Read& read = reads[r];
    if (!window.read(read.from, std::span(buffer).subspan(read.to, read.size))) return std::nullopt;
  }
  return k;
}

bool writePayloads(BufferedOutput& output, File& source, std::uint64_t sourceLength, const std::vector<Chunk>& chunks,
                   const std::vector<SaveLayout::Keyed>& byKey) {
  ReadAhead window(source, sourceLength);
  for (std::size_t k = 0; k < byKey.size();) {
    const SaveLayout::Keyed& record = byKey[k];
    if (isGathered(record)) {
      const auto next = gatherPayloads(output, window, chunks, byKey, k);
      if (!next || !output.flushIfFull()) return false;
      k = *next;
    } else {
      // Large payloads that lie back to back in the source go in one copy.
      std::uint64_t length = 0;
      const std::uint64_t from = record.filePos;
      for (; k < byKey.size(); ++k) {
        const SaveLayout::Keyed& next = byKey[k];
        if (isGathered(next) || next.filePos != from + length) break;
        length += next.size;
      }
      if (!output.flush() || !output.file().copyFrom(source, from, length)) return false;
    }
  }
  return true;
}

bool writeDocument(File& out, File& source, std::uint64_t sourceLength, const std::vector<Chunk>& chunks,
                   const SaveLayout& layout) {
  using namespace format;
  BufferedOutput output(out, layout.header.totalSize);
  auto& buffer = output.buffer();
  writeFileHeader(buffer, layout.header);
  if (!writePayloads(output, source, sourceLength, chunks, layout.byKey)) return false;

  layout.index.append(buffer);
  for (std::size_t i = 0; i < chunks.size(); ++i) {
    const Chunk& chunk = chunks[i];
    ChunkDescriptor descriptor;
    descriptor.tag = chunk.tag;
    descriptor.number = chunk.number;
    descriptor.dataPos = layout.dataPos[i];
    descriptor.flags = descriptorFlags(chunk.pothMarked, chunk.packed, chunk.refCount);
    descriptor.dataLength = chunk.payloadSize();
    descriptor.linkCount = static_cast<std::uint16_t>(chunk.links.size());
    descriptor.refCount = chunk.refCount;
    writeDescriptor(buffer, descriptor);
    for (const auto& link : chunk.links) writeLink(buffer, link);
    writeName(buffer, layout.nameForm[i], chunk.name);
    if (!output.flushIfFull()) return false;
  }
  // The table lists the descriptors in key order. Picking them out in a
  // pass of their own lets the scattered reads overlap.
  std::vector<IndexEntry> table(layout.byKey.size());
  for (std::size_t k = 0; k < table.size(); ++k) table[k] = layout.descriptors[layout.byKey[k].index];
  for (const auto& entry : table) {
    writeIndexEntry(buffer, entry);
    if (!output.flushIfFull()) return false;
  }
  return output.flush();
}

}  // namespace

std::uint64_t ChunkyFile::savedSizeBesidesPayloads() const {
  std::uint64_t size = std::uint64_t{format::kFileHeaderSize} + format::kIndexHeaderSize;
  for (const Chunk& chunk : chunks_) {
    // A name too long for any form is refused by the save; counted as wide.
    const auto form = writtenNameForm(chunk).value_or(NameForm::Wide);
    const std::uint64_t record = format::recordSize(chunk.links.size(), form, chunk.name.size());
    size += record + format::paddingAfter(record) + format::kEntrySize;
  }
  return size;
}

bool ChunkyFile::fileUnchanged() const {
  const auto now = file_->stamp();
  return now && now == fileStamp_;
}

format::FileHeader ChunkyFile::carriedHeader() const {
  format::FileHeader header;
  header.headerId = headerId_;
  header.headerWord1 = headerWord1_;
  header.headerWord2 = headerWord2_;
  header.formatCode = formatCode_;
  return header;
}

// Moves the written file onto `destination` in one step, if the input is
// still the document we describe right up to that step.
bool ChunkyFile::commit(TempFile& temp, const Path& destination) {
  const auto ours = file_->identity();
  if (!ours) return fail(false, FailureKind::File);
  // The last look before the move, in one step: the input's path still
  // names the file we loaded (no editor put another in its place), and
  // nobody has written to it since.
  if (fileSystem_.stateOf(path_) != FileState{*ours, *fileStamp_}) return fail(false, FailureKind::Changed);
  // The movie is closed before anything is moved into its folder: a
  // system may not replace an open file, and one that takes two spellings
  // for two files (a case-blind file system through FUSE) may lose an open
  // one it is told to replace under its other name.
  releaseStream();
  if (!temp.commit(destination)) {
    fail(false, FailureKind::File);
    file_ = fileSystem_.openForReading(path_);
    return false;
  }
  fileSystem_.syncFolderOf(destination);
  return true;
}

// The store now stands for the saved file, in (tag, number) order. Nothing
// here may fail: the document is saved. `order` and `placed` have room for
// one entry per record, set aside before the commit.
void ChunkyFile::standForSavedFile(const Path& target, const SaveLayout& layout, std::vector<std::uint32_t>& order,
                                   std::vector<bool>& placed) {
  releaseStream();
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    Chunk& chunk = chunks_[i];
    chunk.nameForm = layout.nameForm[i];
    chunk.fileSize = chunk.payloadSize();
    chunk.filePos = layout.dataPos[i];
    chunk.inFile = true;
    chunk.memData = {};
  }
  // Record order[k] moves to place k, one cycle of the permutation at a
  // time: no second copy of the records.
  for (std::size_t k = 0; k < layout.byKey.size(); ++k) order[k] = layout.byKey[k].index;
  for (std::size_t start = 0; start < chunks_.size(); ++start) {
    if (placed[start]) continue;
    Chunk moving = std::move(chunks_[start]);
    std::size_t at = start;
    for (std::size_t from = order[at]; from != start; from = order[at]) {
      chunks_[at] = std::move(chunks_[from]);
      placed[at] = true;
      at = from;
    }
    chunks_[at] = std::move(moving);
    placed[at] = true;
  }
  keys_.forget();
  path_ = target;
  fileLength_ = layout.header.totalSize;
  try {
    file_ = fileSystem_.openForReading(target);
  } catch (const std::bad_alloc&) {
    // Without a stream the store refuses to save again; this save stands.
  }
  fileStamp_ = file_ ? file_->stamp() : std::nullopt;
  // A file we cannot watch for changes is one we must not copy from.
  if (!fileStamp_) releaseStream();
}

SaveResult ChunkyFile::save(const Path& target) {
  failure_ = {};
  noteFileError(target.empty() ? FileError::NoName : FileError::None);
  noteCopyLeftBehind({});
  // A store that lost its stream could not copy its payloads.
  if (!isOpen_ || !file_) return fail(kNotSaved, FailureKind::File);
  if (target.empty()) return fail(kNotSaved, FailureKind::File);
  try {
    settleLowering();
    auto byKey = orderByKey(chunks_, keys_.entries(chunks_, tagRanges_.list()));
    // The lookup is rebuilt when next needed; the writing has more use for
    // the memory.
    keys_.release();
    const auto layout = planLayout(chunks_, std::move(byKey), carriedHeader());
    if (!layout) return fail(kNotSaved, FailureKind::TooLarge);
    // The payloads are copied from the file as it was loaded; one written
    // to since is no longer the document we describe.
    if (!fileUnchanged()) return fail(kNotSaved, FailureKind::Changed);
    const auto resolved = fileSystem_.resolveLinks(target);
    if (!resolved || !fileSystem_.mayReplace(*resolved)) return fail(kNotSaved, FailureKind::File);
    const Path& destination = *resolved;

    auto temp = fileSystem_.createTempBeside(destination);
    if (!temp) return fail(kNotSaved, FailureKind::File);
    if (!writeDocument(*temp, *file_, fileLength_, chunks_, *layout) || !temp->sync()) {
      // A source that ends early was changed under us; otherwise the
      // writing failed, and the file layer said why.
      return fail(kNotSaved, fileUnchanged() ? FailureKind::File : FailureKind::Changed);
    }
    // Set aside before the commit: afterwards nothing may fail.
    std::vector<std::uint32_t> order(chunks_.size());
    std::vector<bool> placed(chunks_.size());
    if (!commit(*temp, destination)) return kNotSaved;
    standForSavedFile(target, *layout, order, placed);
    return kSaved;
  } catch (const std::bad_alloc&) {
    // Out of memory before the commit: the temporary file goes with its
    // owner, and the target keeps its bytes.
    return fail(kNotSaved, FailureKind::OutOfMemory);
  }
}

}  // namespace hush
