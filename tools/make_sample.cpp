// Writes the bundled sample movie, the sample with a large backdrop for
// trying what interrupting a long save does, or a movie whose event group
// the tool refuses, for trying its error path:
//   make_sample sample/sample.3mm
//   make_sample big.3mm 100          (a 100 MiB backdrop)
//   make_sample refused.3mm refused
#include <cstdio>
#include <cstdlib>
#include <string>

#include "support/sample_document.h"

int main(int argc, char** argv) {
  if (argc != 2 && argc != 3) {
    std::fprintf(stderr, "usage: make_sample OUTPUT.3mm [BACKDROP-MiB | refused]\n");
    return 2;
  }
  auto doc = hush::test::sampleMovie();
  if (argc == 3 && std::string(argv[2]) == "refused") {
    doc = hush::test::DocumentBuilder();
    doc.add("GGFR", 17, hush::test::bytesOf("not a group at all"));
  } else if (argc == 3) {
    const unsigned long mebibytes = std::strtoul(argv[2], nullptr, 10);
    if (mebibytes == 0 || mebibytes > 4000) return 2;
    doc = hush::test::bigSampleMovie(static_cast<unsigned>(mebibytes));
  }
  const auto bytes = doc.bytes();
  std::FILE* out = std::fopen(argv[1], "wb");
  if (out == nullptr) return 1;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok ? 0 : 1;
}
