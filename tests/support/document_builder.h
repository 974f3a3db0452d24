// Builds chunky documents and group payloads for tests, field by field.
//
// By default a document comes out exactly as the store writes one:
// payloads in (tag, number) order from byte 128, descriptors in the order
// the chunks were added, the entry table in (tag, number) order. Every
// field can then be bent (the header fields directly, anything else by
// patching the bytes at the positions that build() reports) to make the
// malformed documents the loader must refuse.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "chunky/chunk_types.h"

namespace hush::test {

using Bytes = std::vector<std::uint8_t>;

Bytes bytesOf(const std::string& text);

struct ChunkRecipe {
  ChunkTag tag = 0;
  ChunkNumber number = 0;
  Bytes payload;
  std::uint16_t refCount = 0;
  std::vector<ChildLink> links;  // written in this order
  std::u16string name;
  bool wideName = false;  // the 16-bit name form even for narrow names

  ChunkRecipe& link(const char (&childTag)[5], ChunkNumber childNumber, ChildId childId);
  ChunkRecipe& named(std::u16string text, bool wide = false);
  ChunkRecipe& parents(std::uint16_t count);
};

// Where the parts of a built document lie, for patching.
struct BuiltDocument {
  Bytes bytes;
  std::uint32_t indexStart = 0;
  std::uint32_t tableAt = 0;                   // absolute position of the entry table
  std::vector<std::uint32_t> descriptorAt;     // absolute, per chunk in order added
  std::vector<std::uint32_t> payloadAt;        // absolute, per chunk in order added
  std::vector<std::uint32_t> tableItemAt;      // absolute, per chunk in order added
};

class DocumentBuilder {
 public:
  ChunkRecipe& add(const char (&tag)[5], ChunkNumber number, Bytes payload = {});

  std::uint32_t formatCode = 0x03030001;
  std::uint32_t indexMarker = 0x03030001;
  std::uint32_t headerId = 0;
  std::uint16_t headerWord1 = 0;
  std::uint16_t headerWord2 = 0;
  // Payloads in the order the chunks were added, as other writers lay
  // them out, rather than in (tag, number) order.
  bool payloadsAsAdded = false;

  BuiltDocument build() const;
  Bytes bytes() const { return build().bytes; }

  std::vector<ChunkRecipe> chunks;
};

// A group payload: header, data area, entry table.
class GroupBuilder {
 public:
  explicit GroupBuilder(std::uint32_t fixedSize) : fixedSize_(fixedSize) {}
  GroupBuilder& entry(Bytes bytes);
  // An entry whose leading words are given (each little-endian), padded with
  // `extra` zero bytes.
  GroupBuilder& words(std::vector<std::uint32_t> words, std::size_t extra = 0);
  // The payload in normal form.
  Bytes build() const;

 private:
  std::uint32_t fixedSize_;
  std::vector<Bytes> entries_;
};

// A group payload laid out by hand: any spans over any data area.
struct RawGroup {
  std::uint32_t marker = 0x03030001;
  std::uint32_t reserved = 0xFFFFFFFF;
  std::uint32_t fixedSize = 8;
  Bytes data;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> spans;  // (offset, size)
  std::optional<std::uint32_t> entryCount;                     // default: spans.size()
  std::optional<std::uint32_t> dataSize;                       // default: data.size()
  Bytes trailing;
  Bytes build() const;
};

void put32(Bytes& bytes, std::size_t at, std::uint32_t value);
void put16(Bytes& bytes, std::size_t at, std::uint16_t value);
std::uint32_t get32(const Bytes& bytes, std::size_t at);

}  // namespace hush::test
