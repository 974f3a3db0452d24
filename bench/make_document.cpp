// Writes a valid movie document of a chosen shape, fast enough for
// gigabyte documents: payloads are streamed to the file, only the index is
// built in memory.
//
// usage: make_document <shape> <file> [layout]
//   shapes: payload-heavy, index-heavy, index-heavy-100k, group-heavy,
//           hostile, small
//   layouts: sorted (descriptors and payloads in (tag, number) order, the
//            default), shuffled (descriptors in the order a movie grew,
//            here a fixed shuffle, payloads in (tag, number) order: what
//            the store itself writes for such a movie), store-order (both
//            in that grown order, as other writers lay them out)
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "chunky/chunk_types.h"
#include "chunky/chunky_format.h"
#include "common/byte_writer.h"
#include "group_payload.h"

using namespace hush;
using hush::bench::groupPayload;
namespace fmt = hush::format;

namespace {

struct Shape {
  std::uint32_t chunks = 0;         // all of them, groups and linkers included
  std::uint32_t payload = 64;       // bytes of each plain and sound chunk
  double soundShare = 0.0;          // share of the chunks that are WAVE, MSND or MIDS
  std::uint32_t groups = 0;         // GGFR and GGAE chunks
  std::uint32_t groupSize = 0;      // bytes of each group payload
  std::uint32_t entrySize = 16;     // bytes of each group entry
  std::uint32_t linkers = 0;        // MVIE and SCEN chunks, each linking to sounds
  bool hostile = false;             // an entry count of 0xFFFFFFFF
};

bool shapeNamed(const std::string& name, Shape& shape) {
  if (name == "payload-heavy") {
    shape = {2048, 512 * 1024, 0.30, 16, 64 * 1024, 16, 32, false};
  } else if (name == "index-heavy") {
    shape = {1000000, 64, 0.50, 10000, 64, 16, 10000, false};
  } else if (name == "index-heavy-100k") {
    shape = {100000, 64, 0.50, 1000, 64, 16, 1000, false};
  } else if (name == "group-heavy") {
    shape = {64, 64, 0.0, 64, 8 * 1024 * 1024, 16, 0, false};
  } else if (name == "hostile") {
    shape = {16, 64, 0.25, 2, 256, 16, 2, true};
  } else if (name == "small") {
    shape = {400, 4096, 0.30, 20, 4096, 16, 20, false};
  } else {
    return false;
  }
  return true;
}

struct Planned {
  ChunkTag tag;
  ChunkNumber number;
  std::uint32_t size;
  std::vector<ChildLink> links;
  std::u16string name;
};

std::vector<Planned> plan(const Shape& shape) {
  std::vector<Planned> chunks;
  chunks.reserve(shape.chunks);
  const auto sounds = static_cast<std::uint32_t>(shape.chunks * shape.soundShare);
  const std::uint32_t msnds = sounds / 3;
  for (std::uint32_t i = 0; i < sounds; ++i) {
    const ChunkNumber number = i / 3;
    switch (i % 3) {
      case 0: chunks.push_back({makeTag("MSND"), number, shape.payload, {{makeTag("WAVE"), number, 0}}, u"Sound"}); break;
      case 1: chunks.push_back({makeTag("WAVE"), number, shape.payload, {}, {}}); break;
      default: chunks.push_back({makeTag("MIDS"), number, shape.payload, {}, {}}); break;
    }
  }
  for (std::uint32_t i = 0; i < shape.groups; ++i) {
    chunks.push_back({i % 2 == 0 ? makeTag("GGFR") : makeTag("GGAE"), i, shape.groupSize, {}, {}});
  }
  for (std::uint32_t i = 0; i < shape.linkers; ++i) {
    Planned linker{i == 0 ? makeTag("MVIE") : makeTag("SCEN"), i, shape.payload, {}, u"Sc\u00e8ne"};
    if (msnds > 0) {
      linker.links.push_back({makeTag("MSND"), (2 * i) % msnds, 0});
      linker.links.push_back({makeTag("MSND"), (2 * i + 1) % msnds, 1});
    }
    if (shape.groups > 0) linker.links.push_back({makeTag("GGFR"), (2 * i) % shape.groups, 2});
    chunks.push_back(std::move(linker));
  }
  for (std::uint32_t i = 0; chunks.size() < shape.chunks; ++i) {
    chunks.push_back({makeTag("BKGD"), i, shape.payload, {}, i % 16 == 0 ? u"\u80cc\u666f" : u""});
  }
  // The store writes payloads and the entry table in (tag, number) order.
  std::sort(chunks.begin(), chunks.end(), [](const Planned& a, const Planned& b) {
    return a.tag != b.tag ? a.tag < b.tag : a.number < b.number;
  });
  return chunks;
}

bool writeAll(std::FILE* file, const std::uint8_t* bytes, std::size_t size) {
  return size == 0 || std::fwrite(bytes, 1, size, file) == size;
}

}  // namespace

int main(int argc, char** argv) {
  Shape shape;
  const std::string layout = argc == 4 ? argv[3] : "sorted";
  if ((argc != 3 && argc != 4) || !shapeNamed(argv[1], shape) ||
      (layout != "sorted" && layout != "shuffled" && layout != "store-order")) {
    std::fprintf(stderr,
                 "usage: make_document <payload-heavy|index-heavy|index-heavy-100k|group-heavy|hostile|small> <file> "
                 "[sorted|shuffled|store-order]\n");
    return 2;
  }
  const std::vector<Planned> chunks = plan(shape);
  // Chunk indices (in (tag, number) order) in the order of the descriptors,
  // and in the order of the payloads.
  std::vector<std::size_t> storeOrder(chunks.size());
  std::iota(storeOrder.begin(), storeOrder.end(), std::size_t{0});
  if (layout != "sorted") std::shuffle(storeOrder.begin(), storeOrder.end(), std::mt19937_64(2026));
  std::vector<std::size_t> payloadOrder(chunks.size());
  std::iota(payloadOrder.begin(), payloadOrder.end(), std::size_t{0});
  if (layout == "store-order") payloadOrder = storeOrder;
  std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(argv[2], "wb"), std::fclose);
  if (!file) {
    std::perror(argv[2]);
    return 1;
  }

  // Payloads: noise that does not look packed or marked.
  std::vector<std::uint8_t> noise(1 << 20);
  std::uint32_t seed = 12345;
  for (auto& byte : noise) {
    seed = seed * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(seed >> 16);
  }
  std::vector<std::uint8_t> bytes(fmt::kFileHeaderSize, 0);
  bool ok = writeAll(file.get(), bytes.data(), bytes.size());
  std::uint64_t position = fmt::kFileHeaderSize;
  std::vector<std::uint32_t> dataPos(chunks.size());
  std::vector<std::uint8_t> flags(chunks.size());
  for (std::size_t k = 0; k < chunks.size() && ok; ++k) {
    const std::size_t i = payloadOrder[k];
    const Planned& chunk = chunks[i];
    dataPos[i] = static_cast<std::uint32_t>(position);
    if (chunk.tag == makeTag("GGFR") || chunk.tag == makeTag("GGAE")) {
      const auto group = groupPayload(chunk.size, shape.entrySize, i % 4 < 2 ? 8 : 20);
      ok = writeAll(file.get(), group.data(), group.size());
    } else {
      for (std::uint32_t done = 0; done < chunk.size && ok;) {
        const std::uint32_t piece = std::min<std::uint32_t>(chunk.size - done, 1 << 19);
        ok = writeAll(file.get(), noise.data() + (i * 4096 + done) % (1 << 19), piece);
        done += piece;
      }
    }
    flags[i] = fmt::descriptorFlags(false, false, 1);
    position += chunk.size;
  }

  // The index: header, descriptors in store order, then the entry table.
  const std::uint64_t indexStart = position;
  bytes.clear();
  fmt::IndexHeader{fmt::kNarrowFormat, static_cast<std::uint32_t>(chunks.size()), 0, fmt::kIndexReserved,
                   fmt::kIndexFixedSize}.append(bytes);
  std::vector<fmt::IndexEntry> entries(chunks.size());
  for (const std::size_t i : storeOrder) {
    const Planned& chunk = chunks[i];
    const std::size_t start = bytes.size();
    fmt::writeDescriptor(bytes, {chunk.tag, chunk.number, dataPos[i], flags[i], chunk.size,
                                 static_cast<std::uint16_t>(chunk.links.size()), 1});
    for (const ChildLink& link : chunk.links) fmt::writeLink(bytes, link);
    const bool narrow = std::all_of(chunk.name.begin(), chunk.name.end(), [](char16_t c) { return c < 0x100; });
    const auto form = chunk.name.empty() ? fmt::NameForm::None : narrow ? fmt::NameForm::Narrow : fmt::NameForm::Wide;
    if (form != fmt::NameForm::None) fmt::writeName(bytes, form, chunk.name);
    entries[i] = {static_cast<std::uint32_t>(start - fmt::kIndexHeaderSize),
                  static_cast<std::uint32_t>(fmt::recordSize(chunk.links.size(), form, chunk.name.size()))};
  }
  const auto put32 = [&](std::size_t at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) bytes[at + k] = static_cast<std::uint8_t>(value >> (8 * k));
  };
  put32(8, static_cast<std::uint32_t>(bytes.size() - fmt::kIndexHeaderSize));  // the data size
  if (shape.hostile) put32(4, 0xFFFFFFFF);                                    // the entry count
  for (const auto& entry : entries) fmt::writeIndexEntry(bytes, entry);  // in (tag, number) order
  ok = ok && writeAll(file.get(), bytes.data(), bytes.size());

  const std::uint64_t total = indexStart + bytes.size();
  if (total > 0xFFFFFFFFu) {
    std::fprintf(stderr, "the shape is larger than a document can be\n");
    return 1;
  }
  bytes.clear();
  fmt::FileHeader header;
  header.formatCode = fmt::kNarrowFormat;
  header.totalSize = header.totalSize2 = static_cast<std::uint32_t>(total);
  header.indexStart = static_cast<std::uint32_t>(indexStart);
  header.indexLength = static_cast<std::uint32_t>(total - indexStart);
  fmt::writeFileHeader(bytes, header);
  ok = ok && std::fseek(file.get(), 0, SEEK_SET) == 0 && writeAll(file.get(), bytes.data(), bytes.size());
  ok = ok && std::fflush(file.get()) == 0;
  if (!ok) {
    std::perror(argv[2]);
    return 1;
  }
  std::printf("%s: %zu chunks, %llu bytes\n", argv[2], chunks.size(), static_cast<unsigned long long>(total));
  return 0;
}
