// What the tool writes: the silent document, byte for byte.
#include <algorithm>
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/sample_document.h"

namespace hush::test {
namespace {

TEST(Silencing, SampleMovieComesOutWithoutSound) {
  TempFolder folder;
  writeFile(folder / "movie.3mm", sampleMovie().bytes());
  const auto result = hushmaker(folder, {"movie.3mm"});
  ASSERT_EQ(result.status, 7);
  EXPECT_EQ(readFile(folder / "movie-quiet.3mm"), silentSampleMovie().bytes());
}

// Silencing a silent movie changes nothing but the name.
TEST(Silencing, ASilentMovieComesOutAsItWent) {
  TempFolder folder;
  writeFile(folder / "movie-quiet.3mm", silentSampleMovie().bytes());
  ASSERT_EQ(hushmaker(folder, {"movie-quiet.3mm"}).status, 7);
  EXPECT_EQ(readFile(folder / "movie-quiet-quiet.3mm"), silentSampleMovie().bytes());
}

TEST(Silencing, SmallDocumentByteForByte) {
  DocumentBuilder in;
  in.formatCode = 0x05050001;
  in.indexMarker = 0x05050001;
  in.headerId = 77;
  in.add("SCEN", 3, bytesOf("scene")).link("MSND", 1, 0).link("WAVE", 1, 1).named(u"\u041f\u043e\u043b\u0435");
  in.add("MSND", 1, bytesOf("snd")).parents(1).link("WAVE", 1, 0);
  in.add("GGAE", 2, GroupBuilder(8).words({0, 1, 0}).words({6, 0, 0}).build()).named(u"events");
  in.add("WAVE", 1, bytesOf("pcm")).parents(2);

  DocumentBuilder out;
  out.formatCode = 0x05050001;
  out.indexMarker = 0x05050001;
  out.headerId = 77;
  out.add("SCEN", 3, bytesOf("scene")).link("WAVE", 1, 1).named(u"\u041f\u043e\u043b\u0435");
  out.add("GGAE", 2, GroupBuilder(8).words({6, 0, 0}).build()).named(u"events");

  TempFolder folder;
  writeFile(folder / "in.3mm", in.bytes());
  ASSERT_EQ(hushmaker(folder, {"in.3mm", "out.3mm"}).status, 7);
  EXPECT_EQ(readFile(folder / "out.3mm"), out.bytes());
}

}  // namespace
}  // namespace hush::test
