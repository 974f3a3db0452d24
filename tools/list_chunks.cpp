// Lists what a chunky document holds: list_chunks movie.3mm
#include <cstdio>
#include <string>

#include "chunky/chunky_file.h"

namespace {

std::string nameText(const std::u16string& name) {
  std::string text;
  for (const char16_t unit : name) {
    if (unit >= 0x20 && unit < 0x7F) {
      text.push_back(static_cast<char>(unit));
    } else {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(unit));
      text += escaped;
    }
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: list_chunks FILE.3mm\n");
    return 2;
  }
  hush::ChunkyFile document;
  const int result = document.open(hush::widenPath(argv[1]));
  if (result != hush::kOpened) {
    std::printf("refused (%d)\n", result);
    return 1;
  }
  std::printf("%u chunks\n", static_cast<unsigned>(document.chunkCount()));
  for (const auto& chunk : document.chunks()) {
    std::printf("%s %-6u parents %-3u %7u bytes%s%s", hush::tagText(chunk.tag).c_str(), static_cast<unsigned>(chunk.number),
                static_cast<unsigned>(chunk.refCount), static_cast<unsigned>(chunk.payloadSize()),
                chunk.packed ? " packed" : "", chunk.pothMarked ? " POTH" : "");
    if (!chunk.name.empty()) std::printf(" \"%s\"", nameText(chunk.name).c_str());
    std::printf("\n");
    for (const auto& link : chunk.links) {
      std::printf("    -> %s %u (id %d)\n", hush::tagText(link.tag).c_str(), static_cast<unsigned>(link.number),
                  static_cast<int>(link.childId));
    }
  }
  return 0;
}
