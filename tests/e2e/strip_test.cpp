// What the tool writes: the silent document, byte for byte.
#include <algorithm>
#include <filesystem>

#include "chunky/chunky_file.h"
#include "e2e/e2e_support.h"
#include "support/sample_document.h"

namespace hush::testing {
namespace {


ChunkRecipe& chunk(DocumentBuilder& doc, const char (&tag)[5], ChunkNumber number) {
  return *std::find_if(doc.chunks.begin(), doc.chunks.end(),
                       [&](const ChunkRecipe& c) { return c.tag == makeTag(tag) && c.number == number; });
}

// The sample movie as it must come out: written out by hand, not computed.
DocumentBuilder silentSample() {
  DocumentBuilder doc = sampleMovie();
  const std::pair<ChunkTag, ChunkNumber> sounds[] = {{makeTag("MSND"), 10}, {makeTag("MSND"), 11},
                                                      {makeTag("MSND"), 12}, {makeTag("WAVE"), 10},
                                                      {makeTag("WAVE"), 12}, {makeTag("MIDS"), 11}};
  std::erase_if(doc.chunks, [&](const ChunkRecipe& c) {
    return std::find(std::begin(sounds), std::end(sounds), std::pair{c.tag, c.number}) != std::end(sounds);
  });
  chunk(doc, "MVIE", 1).links = {{makeTag("SCEN"), 1, 0}, {makeTag("SCEN"), 2, 1}, {makeTag("GGAE"), 1, 3}};
  chunk(doc, "SCEN", 1).links = {{makeTag("GGFR"), 1, 0}, {makeTag("ACTR"), 1, 2}};
  chunk(doc, "SCEN", 2).links = {{makeTag("GGFR"), 2, 1}};
  chunk(doc, "GGFR", 1).payload = GroupBuilder(8).words({0x10, 3, 40, 60}).words({0x12, 4, 2}, 4).words({0x14, 1}).build();
  chunk(doc, "GGFR", 2).payload = GroupBuilder(20).words({2, 1, 7, 7, 7}).words({3, 0, 0}).build();
  chunk(doc, "GGAE", 1).payload = GroupBuilder(8).words({0x21, 2, 1}).build();
  chunk(doc, "GGAE", 2).payload = GroupBuilder(12).words({5, 1, 1}).build();
  return doc;
}

TEST(Silencing, SampleMovieComesOutWithoutSound) {
  TempFolder folder;
  writeFile(folder / "movie.3mm", sampleMovie().bytes());
  const auto result = hushmaker(folder, {"movie.3mm"});
  ASSERT_EQ(result.status, 7);
  EXPECT_EQ(readFile(folder / "movie-quiet.3mm"), silentSample().bytes());
}

TEST(Silencing, OutputHasNoSoundLeftAndLoadsAgain) {
  TempFolder folder;
  writeFile(folder / "movie.3mm", sampleMovie().bytes());
  ASSERT_EQ(hushmaker(folder, {"movie.3mm"}).status, 7);
  // Silencing a silent movie changes nothing but the name.
  ASSERT_EQ(hushmaker(folder, {"movie-quiet.3mm"}).status, 7);
  EXPECT_EQ(readFile(folder / "movie-quiet-quiet.3mm"), readFile(folder / "movie-quiet.3mm"));

  ChunkyFile silent;
  ASSERT_EQ(silent.open(storePath(folder / "movie-quiet.3mm")), 1);
  for (const auto& c : silent.chunks()) {
    EXPECT_NE(c.tag, makeTag("WAVE"));
    EXPECT_NE(c.tag, makeTag("MSND"));
    EXPECT_NE(c.tag, makeTag("MIDS"));
    for (const auto& link : c.links) {
      if (c.tag == makeTag("MVIE") || c.tag == makeTag("SCEN")) {
        EXPECT_NE(link.tag, makeTag("MSND"));
      }
    }
  }
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
}  // namespace hush::testing
