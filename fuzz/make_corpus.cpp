// Writes the fuzzers' seed corpora: documents of every shape the builder
// makes, each malformation the loader refuses, and group payloads of both
// kinds, well-formed and not.
//
// usage: make_corpus <folder>   (creates <folder>/documents and <folder>/groups)
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "support/document_builder.h"
#include "support/malformations.h"
#include "support/sample_document.h"

using namespace hush::test;
namespace fs = std::filesystem;

namespace {

void write(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::pair<std::string, DocumentBuilder>> documentShapes() {
  std::vector<std::pair<std::string, DocumentBuilder>> shapes;
  shapes.emplace_back("empty", DocumentBuilder{});
  shapes.emplace_back("sample", sampleMovie());

  DocumentBuilder wide = sampleMovie();
  wide.formatCode = 0x05050001;
  shapes.emplace_back("wide-format", wide);

  DocumentBuilder soundOnly;
  soundOnly.add("MSND", 1, bytesOf("s")).link("WAVE", 1, 0);
  soundOnly.add("WAVE", 1, bytesOf("RIFF"));
  soundOnly.add("MIDS", 2);
  shapes.emplace_back("sound-only", soundOnly);

  DocumentBuilder duplicates;  // the same tag and number twice, links sharing ids
  duplicates.add("MVIE", 1).link("MSND", 1, 0).link("MSND", 2, 0).link("SCEN", 1, 0);
  duplicates.add("MVIE", 1).link("MSND", 1, 0xFFFFFFFF);
  duplicates.add("MSND", 1).parents(0xFFFF);
  duplicates.add("GGAE", 3, GroupBuilder(8).build());
  shapes.emplace_back("duplicates", duplicates);

  DocumentBuilder groups;
  groups.add("GGFR", 1, GroupBuilder(4).words({1}).words({2}).entry({}).build());
  RawGroup shared;
  shared.data = bytesOf("0123456789abcdef");
  shared.spans = {{0, 16}, {4, 8}, {4, 8}, {16, 0}};
  groups.add("GGAE", 2, shared.build());
  groups.add("GGFR", 3, bytesOf("not a group"));
  shapes.emplace_back("groups", groups);
  return shapes;
}

std::vector<std::pair<std::string, Bytes>> groupShapes() {
  RawGroup overlapping;
  overlapping.data = bytesOf("\x01\0\0\0\x01\0\0\0\x07\0\0\0\0\0\0\0");
  overlapping.spans = {{0, 12}, {4, 12}, {0, 0}, {8, 8}};
  RawGroup hostile;
  hostile.data = bytesOf("abcd");
  hostile.spans = {{0xFFFFFFFC, 8}};
  hostile.entryCount = 0xFFFFFFFF;
  return {
      {"sound-at-4", GroupBuilder(8).words({0x10, 1, 10}).words({0x11, 2}).words({0x12, 1}, 4).build()},
      {"sound-at-0", GroupBuilder(20).words({6, 12, 0, 0, 0}).words({2, 1}).words({6}).build()},
      {"empty", GroupBuilder(8).build()},
      {"overlapping", overlapping.build()},
      {"hostile", hostile.build()},
      {"bad-marker", bytesOf("\x02\0\x03\x03 not a group at all")},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: make_corpus <folder>\n";
    return 2;
  }
  const fs::path documents = fs::path(argv[1]) / "documents";
  const fs::path groups = fs::path(argv[1]) / "groups";
  fs::create_directories(documents);
  fs::create_directories(groups);
  for (const auto& [name, builder] : documentShapes()) write(documents / (name + ".3mm"), builder.bytes());
  int bad = 0;
  for (const Malformation& malformation : documentMalformations()) {
    BuiltDocument built = twoChunkDocument().build();
    malformation.apply(built);
    write(documents / ("bad-" + std::to_string(++bad) + ".3mm"), built.bytes);
  }
  for (const auto& [name, payload] : groupShapes()) write(groups / (name + ".group"), payload);
  return 0;
}
