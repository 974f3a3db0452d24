// Loading: the header and the index are read and checked against the real
// length of the file before anything in them is used. Payloads stay in the
// file; only their first bytes are looked at.
#include <algorithm>
#include <array>
#include <new>

#include "chunky/chunky_file.h"
#include "chunky/chunky_format.h"
#include "platform/read_ahead.h"
#include "common/byte_reader.h"
#include "common/radix_sort.h"

namespace hush {

// The index as read from the file: the descriptor area and the entry table
// that points into it, in descriptor order.
struct ChunkyFile::IndexArea {
  std::vector<std::uint8_t> bytes;  // the descriptor area, then the table
  std::uint32_t dataSize = 0;       // length of the descriptor area
  std::vector<format::IndexEntry> entries;

  std::span<const std::uint8_t> descriptors() const { return std::span(bytes).first(dataSize); }
};

namespace {

using namespace format;

// Reads the file header into `header`; what is wrong with it, if it does
// not describe a document of exactly this length.
FailureKind readCheckedHeader(File& file, std::uint64_t fileLength, FileHeader& header) {
  std::array<std::uint8_t, kFileHeaderSize> bytes{};
  if (fileLength < kFileHeaderSize) return FailureKind::TooShort;
  if (!file.readAt(0, bytes)) return FailureKind::File;
  ByteReader reader(bytes);
  header = readFileHeader(reader);
  if (header.magic != kMagic) return FailureKind::NotAMovie;
  if (header.totalSize != header.totalSize2 || !isFormatCode(header.formatCode)) return FailureKind::DamagedHeader;
  if (header.totalSize != fileLength) return FailureKind::WrongLength;
  return FailureKind::None;
}

// Every record lies in the descriptor area and no two share a byte: only
// then does every chunk stand for bytes of its own in the file.
bool recordsApart(const std::vector<IndexEntry>& byOffset, std::uint32_t dataSize) {
  std::uint64_t previousEnd = 0;
  for (const auto& entry : byOffset) {
    if (entry.size < kDescriptorSize || !rangeFits(entry.offset, entry.size, dataSize)) return false;
    if (entry.offset < previousEnd) return false;
    previousEnd = std::uint64_t{entry.offset} + entry.size;
  }
  return true;
}

}  // namespace

// The index header, the descriptor area and the entry table, which must
// all lie inside the file before a byte of them is read.
std::optional<ChunkyFile::IndexArea> ChunkyFile::readIndexArea(std::uint32_t indexStart) {
  const std::optional<IndexArea> none;
  if (!rangeFits(indexStart, kIndexHeaderSize, fileLength_)) return fail(none, FailureKind::DamagedIndex);
  std::array<std::uint8_t, kIndexHeaderSize> headerBytes{};
  if (!file_->readAt(indexStart, headerBytes)) return fail(none, FailureKind::File);
  ByteReader headerReader(headerBytes);
  const IndexHeader index = IndexHeader::read(headerReader);
  if (index.reserved != kIndexReserved || index.fixedSize != kIndexFixedSize || !isFormatCode(index.marker)) {
    return fail(none, FailureKind::DamagedIndex);
  }

  if (!index.tableFits(fileLength_ - indexStart)) return fail(none, FailureKind::DamagedIndex);
  const std::uint64_t areaStart = std::uint64_t{indexStart} + kIndexHeaderSize;
  const std::uint64_t tableLength = index.tableLength();

  // One read brings in the descriptors and the table together.
  IndexArea area;
  area.bytes.resize(static_cast<std::size_t>(index.dataSize + tableLength));
  if (!file_->readAt(areaStart, area.bytes)) return fail(none, FailureKind::File);
  area.dataSize = index.dataSize;
  area.entries.resize(index.entryCount);
  ByteReader table(std::span<const std::uint8_t>(area.bytes).subspan(index.dataSize));
  for (auto& entry : area.entries) entry = readIndexEntry(table);

  // The store is in descriptor order.
  const auto offsetOf = [](const IndexEntry& entry) { return entry.offset; };
  const auto byOffset = [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; };
  if (!std::is_sorted(area.entries.begin(), area.entries.end(), byOffset)) radixSort(area.entries, offsetOf);
  if (!recordsApart(area.entries, area.dataSize)) return fail(none, FailureKind::DamagedIndex);
  return area;
}

// One chunk record from its descriptor bytes; its payload stays in the file.
std::optional<Chunk> ChunkyFile::readRecord(std::span<const std::uint8_t> record) const {
  ByteReader in(record);
  const ChunkDescriptor descriptor = readDescriptor(in);
  const std::uint64_t need = kDescriptorSize + std::uint64_t{kLinkSize} * descriptor.linkCount;
  if (need > record.size()) return std::nullopt;
  if (!rangeFits(descriptor.dataPos, descriptor.dataLength, fileLength_)) return std::nullopt;

  Chunk chunk;
  chunk.tag = descriptor.tag;
  chunk.number = descriptor.number;
  chunk.loadedFlags = descriptor.flags;
  chunk.refCount = descriptor.refCount;
  std::vector<ChildLink> links(descriptor.linkCount);
  for (auto& link : links) link = readLink(in);
  chunk.setLinksInFileOrder(std::move(links));
  const auto recordSize = static_cast<std::uint32_t>(record.size());
  if (const auto name = readName(in, static_cast<std::uint32_t>(need), recordSize)) {
    chunk.setName(name->name, name->wide);
  }
  if (!in.ok()) return std::nullopt;
  chunk.filePos = descriptor.dataPos;
  chunk.fileSize = descriptor.dataLength;
  chunk.inFile = true;
  return chunk;
}

// The payload marks come from each payload's first bytes. They are read in
// the order the payloads lie in the file, whatever the order of the
// records, so that the read-ahead window serves the neighbours of each.
bool ChunkyFile::readPayloadHeads() {
  // Small arrays for the walk in file order; the records themselves are
  // then visited once, front to back.
  struct Head {
    std::uint32_t pos;
    std::uint32_t size;
    std::uint32_t index;
  };
  std::vector<Head> byPosition(chunks_.size());
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    byPosition[i] = Head{chunks_[i].filePos, chunks_[i].fileSize, static_cast<std::uint32_t>(i)};
  }
  // Ordered by granule is enough for the window, and fewer bits to sort.
  const auto granule = [](const Head& head) { return head.pos / ReadAhead::kGranule; };
  const auto before = [&](const Head& a, const Head& b) { return granule(a) < granule(b); };
  if (!std::is_sorted(byPosition.begin(), byPosition.end(), before)) radixSort(byPosition, granule);
  std::vector<format::PayloadMarks> marks(chunks_.size());
  ReadAhead payloads(*file_, fileLength_);
  std::array<std::uint8_t, 8> bytes{};
  for (const Head& head : byPosition) {
    const auto first = std::span(bytes).first(std::min<std::size_t>(bytes.size(), head.size));
    if (!payloads.read(head.pos, first)) return false;
    marks[head.index] = format::payloadMarks(first, head.size);
  }
  for (std::size_t i = 0; i < chunks_.size(); ++i) {
    chunks_[i].packed = marks[i].packed;
    chunks_[i].pothMarked = marks[i].pothMarked;
  }
  return true;
}

OpenResult ChunkyFile::readIndex() {
  // The stamp gives the length we check everything against, and lets a
  // later save see whether the file was written to since.
  fileStamp_ = file_->stamp();
  if (!fileStamp_) return fail(kHeaderRefused, FailureKind::File);
  fileLength_ = fileStamp_->size;
  FileHeader header;
  if (const auto fault = readCheckedHeader(*file_, fileLength_, header); fault != FailureKind::None) {
    return fail(kHeaderRefused, fault);
  }
  headerId_ = header.headerId;
  headerWord1_ = header.headerWord1;
  headerWord2_ = header.headerWord2;
  formatCode_ = header.formatCode;

  auto area = readIndexArea(header.indexStart);
  if (!area) return kIndexRefused;
  chunks_.reserve(area->entries.size());
  for (const auto& entry : area->entries) {
    auto chunk = readRecord(area->descriptors().subspan(entry.offset, entry.size));
    if (!chunk) return fail(kIndexRefused, FailureKind::DamagedRecord, static_cast<std::uint32_t>(chunks_.size()));
    noteNumber(chunk->tag, chunk->number);
    chunks_.push_back(std::move(*chunk));
  }
  area.reset();  // the records hold all of it now
  return readPayloadHeads() ? kOpened : fail(kIndexRefused, FailureKind::File);
}

OpenResult ChunkyFile::open(const Path& path) {
  failure_ = {};
  if (isOpen_) return kOpenFailed;
  noteFileError(path.empty() ? FileError::NotFound : FileError::None);
  if (path.empty()) return fail(kOpenFailed, FailureKind::File);
  file_ = fileSystem_.openForReading(path);
  if (!file_) return fail(kOpenFailed, FailureKind::File);
  path_ = path;

  OpenResult result = kOpenFailed;
  try {
    result = readIndex();
  } catch (const std::bad_alloc&) {
    // An index too large for the memory we have: not loaded, like any
    // document we cannot read.
    result = fail(kOpenFailed, FailureKind::OutOfMemory);
  }
  if (result == kOpened) {
    isOpen_ = true;
    return kOpened;
  }
  reset();
  return result;
}

}  // namespace hush
