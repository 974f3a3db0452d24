#include "support/document_builder.h"

#include <algorithm>
#include <numeric>
#include <stdexcept>

namespace hush::test {
namespace {

void append32(Bytes& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

void append16(Bytes& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

bool isNarrow(const std::u16string& name) {
  return std::all_of(name.begin(), name.end(), [](char16_t c) { return c <= 0xFF; });
}

std::uint8_t flagsFor(const ChunkRecipe& chunk) {
  const Bytes& p = chunk.payload;
  const bool poth = p.size() >= 12 && p[4] == 'P' && p[5] == 'O' && p[6] == 'T' && p[7] == 'H';
  const bool packed = p.size() >= 4 && p[0] == 'K' && p[1] == 'C' && p[2] == 'D' && (p[3] == 'C' || p[3] == '2');
  if (poth) return 0x12;
  return static_cast<std::uint8_t>((chunk.refCount == 0 ? 2 : 0) | (packed ? 4 : 0));
}

}  // namespace

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

void put32(Bytes& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
}

void put16(Bytes& bytes, std::size_t at, std::uint16_t value) {
  bytes.at(at) = static_cast<std::uint8_t>(value);
  bytes.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t get32(const Bytes& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | bytes.at(at + i);
  return value;
}

ChunkRecipe& ChunkRecipe::link(const char (&childTag)[5], ChunkNumber childNumber, ChildId childId) {
  links.push_back(ChildLink{makeTag(childTag), childNumber, childId});
  return *this;
}

ChunkRecipe& ChunkRecipe::named(std::u16string text, bool wide) {
  name = std::move(text);
  wideName = wide;
  return *this;
}

ChunkRecipe& ChunkRecipe::parents(std::uint16_t count) {
  refCount = count;
  return *this;
}

ChunkRecipe& DocumentBuilder::add(const char (&tag)[5], ChunkNumber number, Bytes payload) {
  ChunkRecipe chunk;
  chunk.tag = makeTag(tag);
  chunk.number = number;
  chunk.payload = std::move(payload);
  chunks.push_back(std::move(chunk));
  return chunks.back();
}

BuiltDocument DocumentBuilder::build() const {
  BuiltDocument doc;
  const std::size_t n = chunks.size();
  std::vector<std::size_t> byKey(n);
  std::iota(byKey.begin(), byKey.end(), 0);
  std::stable_sort(byKey.begin(), byKey.end(), [&](std::size_t a, std::size_t b) {
    if (chunks[a].tag != chunks[b].tag) return chunks[a].tag < chunks[b].tag;
    return chunks[a].number < chunks[b].number;
  });

  Bytes& out = doc.bytes;
  out.resize(128, 0);
  doc.payloadAt.resize(n);
  std::vector<std::size_t> asAdded(n);
  std::iota(asAdded.begin(), asAdded.end(), 0);
  for (const std::size_t i : payloadsAsAdded ? asAdded : byKey) {
    doc.payloadAt[i] = static_cast<std::uint32_t>(out.size());
    out.insert(out.end(), chunks[i].payload.begin(), chunks[i].payload.end());
  }

  doc.indexStart = static_cast<std::uint32_t>(out.size());
  out.resize(out.size() + 20, 0);
  const std::size_t area = out.size();
  doc.descriptorAt.resize(n);
  std::vector<std::uint32_t> offsets(n), sizes(n);
  for (std::size_t i = 0; i < n; ++i) {
    const ChunkRecipe& c = chunks[i];
    // The length field has 24 bits: a longer payload would be written as
    // its low bits, a document that silently says something else.
    if (c.payload.size() > 0xFFFFFF) throw std::length_error("a payload of more than 16,777,215 bytes");
    doc.descriptorAt[i] = static_cast<std::uint32_t>(out.size());
    offsets[i] = static_cast<std::uint32_t>(out.size() - area);
    append32(out, c.tag);
    append32(out, c.number);
    append32(out, doc.payloadAt[i]);
    append32(out, (static_cast<std::uint32_t>(c.payload.size()) << 8) | flagsFor(c));
    append16(out, static_cast<std::uint16_t>(c.links.size()));
    append16(out, c.refCount);
    for (const auto& l : c.links) {
      append32(out, l.tag);
      append32(out, l.number);
      append32(out, l.childId);
    }
    if (!c.name.empty() && isNarrow(c.name) && !c.wideName) {
      append16(out, 0x0303);
      out.push_back(static_cast<std::uint8_t>(c.name.size()));
      for (const char16_t u : c.name) out.push_back(static_cast<std::uint8_t>(u));
      out.push_back(0);
    } else if (!c.name.empty()) {
      append16(out, 0x0505);
      append16(out, static_cast<std::uint16_t>(c.name.size()));
      for (const char16_t u : c.name) append16(out, u);
      append16(out, 0);
    }
    sizes[i] = static_cast<std::uint32_t>(out.size() - area - offsets[i]);
    while ((out.size() - doc.descriptorAt[i]) % 4 != 0) out.push_back(0);
  }
  const auto dataSize = static_cast<std::uint32_t>(out.size() - area);
  doc.tableAt = static_cast<std::uint32_t>(out.size());
  doc.tableItemAt.resize(n);
  for (const std::size_t i : byKey) {
    doc.tableItemAt[i] = static_cast<std::uint32_t>(out.size());
    append32(out, offsets[i]);
    append32(out, sizes[i]);
  }

  put32(out, doc.indexStart + 0, indexMarker);
  put32(out, doc.indexStart + 4, static_cast<std::uint32_t>(n));
  put32(out, doc.indexStart + 8, dataSize);
  put32(out, doc.indexStart + 12, 0xFFFFFFFF);
  put32(out, doc.indexStart + 16, 20);

  const auto total = static_cast<std::uint32_t>(out.size());
  out[0] = 'C';
  out[1] = 'H';
  out[2] = 'N';
  out[3] = '2';
  put32(out, 4, headerId);
  put16(out, 8, headerWord1);
  put16(out, 10, headerWord2);
  put32(out, 12, formatCode);
  put32(out, 16, total);
  put32(out, 20, doc.indexStart);
  put32(out, 24, total - doc.indexStart);
  put32(out, 28, total);
  return doc;
}

GroupBuilder& GroupBuilder::entry(Bytes bytes) {
  entries_.push_back(std::move(bytes));
  return *this;
}

GroupBuilder& GroupBuilder::words(std::vector<std::uint32_t> words, std::size_t extra) {
  Bytes bytes;
  for (const auto w : words) append32(bytes, w);
  bytes.resize(bytes.size() + extra, 0);
  return entry(std::move(bytes));
}

Bytes GroupBuilder::build() const {
  RawGroup raw;
  raw.fixedSize = fixedSize_;
  for (const auto& e : entries_) {
    raw.spans.emplace_back(static_cast<std::uint32_t>(raw.data.size()), static_cast<std::uint32_t>(e.size()));
    raw.data.insert(raw.data.end(), e.begin(), e.end());
  }
  return raw.build();
}

Bytes RawGroup::build() const {
  Bytes out;
  append32(out, marker);
  append32(out, entryCount.value_or(static_cast<std::uint32_t>(spans.size())));
  append32(out, dataSize.value_or(static_cast<std::uint32_t>(data.size())));
  append32(out, reserved);
  append32(out, fixedSize);
  out.insert(out.end(), data.begin(), data.end());
  for (const auto& [offset, size] : spans) {
    append32(out, offset);
    append32(out, size);
  }
  out.insert(out.end(), trailing.begin(), trailing.end());
  return out;
}

}  // namespace hush::test
