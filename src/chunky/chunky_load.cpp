// Loading: the header and the index are read and checked against the real
// length of the file before anything in them is used. Payloads stay in the
// file; only their first bytes are looked at.
#include <algorithm>
#include <array>

#include "chunky/chunky_file.h"
#include "chunky/chunky_format.h"
#include "chunky/read_ahead.h"
#include "common/byte_reader.h"

namespace hush {

int ChunkyFile::open(const Path& path) {
  if (isOpen_) return kOpenFailed;
  path_ = path;
  if (path.empty()) return kOpenFailed;
  auto file = fileSystem_.openForReading(path);
  if (!file) return kOpenFailed;
  file_ = std::move(file);

  const int result = readIndex();
  if (result == kOpened) {
    isOpen_ = true;
    return kOpened;
  }
  chunks_.clear();
  chunks_.shrink_to_fit();
  tagRanges_.clear();
  rangeOfTag_.clear();
  releaseStream();
  path_.clear();
  return result;
}

int ChunkyFile::readIndex() {
  using namespace format;
  if (!file_) return kNoStream;

  // The stamp gives the length we check everything against, and lets a
  // later save see whether the file was written to since.
  fileStamp_ = file_->stamp();
  if (!fileStamp_ || fileStamp_->size < kFileHeaderSize) return kHeaderRefused;
  fileLength_ = fileStamp_->size;
  const std::uint64_t fileLength = fileLength_;

  std::array<std::uint8_t, kFileHeaderSize> headerBytes{};
  if (!file_->readAt(0, headerBytes)) return kHeaderRefused;
  ByteReader headerReader(headerBytes);
  const FileHeader header = readFileHeader(headerReader);
  if (header.magic != kMagic) return kHeaderRefused;
  if (header.totalSize != header.totalSize2) return kHeaderRefused;
  if (header.totalSize != fileLength) return kHeaderRefused;
  if (!isFormatCode(header.formatCode)) return kHeaderRefused;
  headerId_ = header.headerId;
  headerWord1_ = header.headerWord1;
  headerWord2_ = header.headerWord2;
  formatCode_ = header.formatCode;

  // The index header, then the descriptor area and the entry table, which
  // must all lie inside the file before a byte of them is read.
  if (!rangeFits(header.indexStart, kIndexHeaderSize, fileLength)) return kIndexRefused;
  std::array<std::uint8_t, kIndexHeaderSize> indexHeaderBytes{};
  if (!file_->readAt(header.indexStart, indexHeaderBytes)) return kIndexRefused;
  ByteReader indexHeaderReader(indexHeaderBytes);
  const IndexHeader index = readIndexHeader(indexHeaderReader);
  if (index.reserved != kIndexReserved) return kIndexRefused;
  if (index.fixedSize != kIndexFixedSize) return kIndexRefused;
  if (!isFormatCode(index.marker)) return kIndexRefused;

  const std::uint64_t areaStart = std::uint64_t{header.indexStart} + kIndexHeaderSize;
  const std::uint64_t tableLength = std::uint64_t{kEntrySize} * index.entryCount;
  if (!rangeFits(areaStart, std::uint64_t{index.dataSize} + tableLength, fileLength)) return kIndexRefused;

  // One read brings in the descriptors and the table together.
  std::vector<std::uint8_t> area(static_cast<std::size_t>(index.dataSize + tableLength));
  if (!file_->readAt(areaStart, area)) return kIndexRefused;
  const std::span<const std::uint8_t> descriptors(area.data(), index.dataSize);

  std::vector<IndexEntry> entries(index.entryCount);
  ByteReader table(std::span<const std::uint8_t>(area).subspan(index.dataSize));
  for (auto& entry : entries) entry = readIndexEntry(table);

  // The store is in descriptor order. Records must lie in the descriptor
  // area and must not share or overlap bytes: only then does every chunk
  // stand for bytes of its own in the file.
  std::stable_sort(entries.begin(), entries.end(),
                   [](const IndexEntry& a, const IndexEntry& b) { return a.offset < b.offset; });
  std::uint64_t previousEnd = 0;
  for (const auto& entry : entries) {
    if (entry.size < kDescriptorSize) return kIndexRefused;
    if (!rangeFits(entry.offset, entry.size, index.dataSize)) return kIndexRefused;
    if (entry.offset < previousEnd) return kIndexRefused;
    previousEnd = std::uint64_t{entry.offset} + entry.size;
  }

  ReadAhead payloads(*file_, fileLength);
  chunks_.reserve(entries.size());
  std::vector<ChildLink> links;
  for (const auto& entry : entries) {
    ByteReader record(descriptors.subspan(entry.offset, entry.size));
    const ChunkDescriptor descriptor = readDescriptor(record);
    const std::uint64_t need = kDescriptorSize + std::uint64_t{kLinkSize} * descriptor.linkCount;
    if (need > entry.size) return kIndexRefused;
    if (!rangeFits(descriptor.dataPos, descriptor.dataLength, fileLength)) return kIndexRefused;

    Chunk chunk(file_.get());
    chunk.tag = descriptor.tag;
    chunk.number = descriptor.number;
    chunk.loadedFlags = descriptor.flags;
    chunk.refCount = descriptor.refCount;
    links.resize(descriptor.linkCount);
    for (auto& link : links) link = readLink(record);
    chunk.setLinksInFileOrder(links);
    chunk.descriptorOffset = entry.offset;
    if (const auto name = readName(record, static_cast<std::uint32_t>(need), entry.size)) {
      chunk.setName(name->name, name->wide);
    }
    if (!record.ok()) return kIndexRefused;

    std::array<std::uint8_t, 8> head{};
    const auto headLength = std::min<std::size_t>(head.size(), descriptor.dataLength);
    if (!payloads.read(descriptor.dataPos, std::span(head).first(headLength))) return kIndexRefused;
    chunk.attachFileData(descriptor.dataPos, descriptor.dataLength, std::span(head).first(headLength));

    noteNumber(chunk.tag, chunk.number);
    chunks_.push_back(std::move(chunk));
  }
  return kOpened;
}

}  // namespace hush
