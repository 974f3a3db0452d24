// Writes the bundled sample movie: make_sample sample/sample.3mm
#include <cstdio>

#include "support/sample_document.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.3mm\n");
    return 2;
  }
  const auto bytes = hush::testing::sampleMovie().bytes();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
