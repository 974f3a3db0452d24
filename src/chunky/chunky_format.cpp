#include "chunky/chunky_format.h"

#include <algorithm>

#include "common/byte_writer.h"

namespace hush::format {

FileHeader readFileHeader(ByteReader& in) {
  FileHeader h;
  h.magic = in.u32();
  h.headerId = in.u32();
  h.headerWord1 = in.u16();
  h.headerWord2 = in.u16();
  h.formatCode = in.u32();
  h.totalSize = in.u32();
  h.indexStart = in.u32();
  h.indexLength = in.u32();
  h.totalSize2 = in.u32();
  in.skip(kFileHeaderSize - 32);
  return h;
}

ChunkDescriptor readDescriptor(ByteReader& in) {
  ChunkDescriptor d;
  d.tag = in.u32();
  d.number = in.u32();
  d.dataPos = in.u32();
  const std::uint32_t flagsAndLength = in.u32();
  d.flags = static_cast<std::uint8_t>(flagsAndLength & 0xFF);
  d.dataLength = flagsAndLength >> 8;
  d.linkCount = in.u16();
  d.refCount = in.u16();
  return d;
}

ChildLink readLink(ByteReader& in) {
  ChildLink link;
  link.tag = in.u32();
  link.number = in.u32();
  link.childId = in.u32();
  return link;
}

IndexEntry readIndexEntry(ByteReader& in) {
  IndexEntry e;
  e.offset = in.u32();
  e.size = in.u32();
  return e;
}

namespace {

std::u16string cutAtZero(std::u16string name) {
  const auto zero = name.find(u'\0');
  if (zero != std::u16string::npos) name.resize(zero);
  return name;
}

}  // namespace

std::optional<NameRecord> readName(ByteReader& in, std::uint32_t need, std::uint32_t size) {
  const std::uint64_t have = size;
  if (std::uint64_t{need} + 3 > have) return std::nullopt;
  const std::uint16_t marker = in.u16();
  if (marker == kNarrowNameMarker) {
    const std::uint8_t length = in.u8();
    if (std::uint64_t{need} + 3 + length > have) return std::nullopt;
    const auto bytes = in.take(length);
    if (!in.ok()) return std::nullopt;
    std::u16string name(bytes.begin(), bytes.end());  // each byte widens to one unit
    return NameRecord{cutAtZero(std::move(name)), false};
  }
  if (marker == kWideNameMarker) {
    if (std::uint64_t{need} + 4 > have) return std::nullopt;
    const std::uint16_t length = in.u16();
    if (std::uint64_t{need} + 4 + 2ull * length > have) return std::nullopt;
    std::u16string name;
    name.reserve(length);
    for (std::uint16_t i = 0; i < length; ++i) name.push_back(static_cast<char16_t>(in.u16()));
    if (!in.ok()) return std::nullopt;
    return NameRecord{cutAtZero(std::move(name)), true};
  }
  return std::nullopt;
}

void writeFileHeader(std::vector<std::uint8_t>& out, const FileHeader& h) {
  const std::size_t start = out.size();
  appendWord32(out, h.magic);
  appendWord32(out, h.headerId);
  appendWord16(out, h.headerWord1);
  appendWord16(out, h.headerWord2);
  appendWord32(out, h.formatCode);
  appendWord32(out, h.totalSize);
  appendWord32(out, h.indexStart);
  appendWord32(out, h.indexLength);
  appendWord32(out, h.totalSize2);
  out.resize(start + kFileHeaderSize, 0);
}

void writeDescriptor(std::vector<std::uint8_t>& out, const ChunkDescriptor& d) {
  appendWord32(out, d.tag);
  appendWord32(out, d.number);
  appendWord32(out, d.dataPos);
  appendWord32(out, ((d.dataLength & kMaxPayload) << 8) | d.flags);
  appendWord16(out, d.linkCount);
  appendWord16(out, d.refCount);
}

void writeLink(std::vector<std::uint8_t>& out, const ChildLink& link) {
  appendWord32(out, link.tag);
  appendWord32(out, link.number);
  appendWord32(out, link.childId);
}

void writeIndexEntry(std::vector<std::uint8_t>& out, const IndexEntry& e) {
  appendWord32(out, e.offset);
  appendWord32(out, e.size);
}

void writeName(std::vector<std::uint8_t>& out, NameForm form, const std::u16string& name) {
  std::uint64_t size = 0;
  if (form == NameForm::Narrow) {
    appendWord16(out, kNarrowNameMarker);
    out.push_back(static_cast<std::uint8_t>(name.size()));
    for (const char16_t unit : name) out.push_back(static_cast<std::uint8_t>(unit));
    out.push_back(0);
    size = 4 + name.size();
  } else if (form == NameForm::Wide) {
    appendWord16(out, kWideNameMarker);
    appendWord16(out, static_cast<std::uint16_t>(name.size()));
    for (const char16_t unit : name) appendWord16(out, unit);
    appendWord16(out, 0);
    size = 6 + 2 * name.size();
  }
  out.resize(out.size() + paddingAfter(size), 0);
}

std::uint64_t recordSize(std::size_t linkCount, NameForm form, std::size_t nameLength) {
  std::uint64_t size = kDescriptorSize + std::uint64_t{kLinkSize} * linkCount;
  if (form == NameForm::Narrow) size += 4 + nameLength;
  if (form == NameForm::Wide) size += 6 + 2 * std::uint64_t{nameLength};
  return size;
}

PayloadMarks payloadMarks(std::span<const std::uint8_t> head, std::uint64_t size) {
  PayloadMarks marks;
  if (size >= 4 && head.size() >= 4) {
    marks.packed = head[0] == 'K' && head[1] == 'C' && head[2] == 'D' && (head[3] == 'C' || head[3] == '2');
  }
  if (size >= 12 && head.size() >= 8) {
    marks.pothMarked = head[4] == 'P' && head[5] == 'O' && head[6] == 'T' && head[7] == 'H';
  }
  return marks;
}

}  // namespace hush::format
