#include "support/sample_document.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace hush::test {
namespace {

// Event ids of the movie's groups. Groups with an 8-byte fixed part keep
// the event type in their second word; the others in their first.
constexpr std::uint32_t kSoundAt4 = 1;
constexpr std::uint32_t kSoundAt0 = 6;

Bytes wave(std::uint32_t samples) {
  Bytes riff = bytesOf("RIFF____WAVEfmt ");
  const std::size_t header = riff.size();
  riff.resize(header + 16 + 8 + samples, 0);
  for (std::uint32_t i = 0; i < samples; ++i) riff[header + 24 + i] = static_cast<std::uint8_t>(128 + (i * 37) % 64);
  return riff;
}

ChunkRecipe& chunk(DocumentBuilder& doc, const char (&tag)[5], ChunkNumber number) {
  return *std::find_if(doc.chunks.begin(), doc.chunks.end(),
                       [&](const ChunkRecipe& c) { return c.tag == makeTag(tag) && c.number == number; });
}

}  // namespace

DocumentBuilder sampleMovie() {
  DocumentBuilder doc;
  doc.headerId = 0x00000A0D;
  doc.headerWord1 = 2;
  doc.headerWord2 = 1;

  doc.add("MVIE", 1, bytesOf("movie: 2 scenes, 25 fps"))
      .named(u"Sunset picnic")
      .link("SCEN", 1, 0)
      .link("SCEN", 2, 1)
      .link("MSND", 10, 2)
      .link("GGAE", 1, 3);
  doc.add("SCEN", 1, bytesOf("scene: the beach"))
      .parents(1)
      .named(u"Sc\u00e8ne d\u2019ouverture")
      .link("GGFR", 1, 0)
      .link("MSND", 11, 1)
      .link("ACTR", 1, 2);
  doc.add("SCEN", 2, bytesOf("scene: the storm"))
      .parents(1)
      .named(u"Storm", true)
      .link("MSND", 12, 0)
      .link("GGFR", 2, 1)
      .link("MSND", 10, 2);

  doc.add("GGFR", 1,
          GroupBuilder(8)
              .words({0x10, 3, 40, 60})       // actor walks
              .words({0x11, kSoundAt4, 10})   // footsteps
              .words({0x12, 4, 2}, 4)         // camera cut
              .words({0x13, kSoundAt4, 11})   // theme
              .words({0x14, 1})               // short entry: not a sound
              .build())
      .parents(1);
  doc.add("GGFR", 2,
          GroupBuilder(20)
              .words({kSoundAt0, 12, 0, 0, 0})  // thunder
              .words({2, 1, 7, 7, 7})           // lightning
              .words({kSoundAt0, 10, 5})        // wind
              .words({3, 0, 0})                 // actor hides
              .build())
      .parents(1);
  doc.add("GGAE", 1,
          GroupBuilder(8).words({0x20, kSoundAt4, 10}).words({0x21, 2, 1}).words({0x22, kSoundAt4, 12}).build())
      .parents(1);
  doc.add("GGAE", 2, GroupBuilder(12).words({kSoundAt0, 11, 1}).words({5, 1, 1}).build());

  doc.add("ACTR", 1, bytesOf("KCDC\x01\x02packed actor body")).parents(1).named(u"\u30cf\u30ca");
  doc.add("BKGD", 1, bytesOf("bkgdPOTH beach backdrop")).named(u"Beach");

  doc.add("MSND", 10, bytesOf("sound: waves")).parents(2).named(u"Waves").link("WAVE", 10, 0);
  doc.add("MSND", 11, bytesOf("sound: theme")).parents(1).named(u"Theme").link("MIDS", 11, 0);
  doc.add("MSND", 12, bytesOf("sound: thunder")).parents(1).named(u"Thunder", true).link("WAVE", 12, 0);
  doc.add("WAVE", 10, wave(400)).parents(1);
  doc.add("WAVE", 12, wave(300)).parents(1);
  doc.add("MIDS", 11, bytesOf(std::string("MThd\0\0\0\x06\0\0\0\x01\0\x60", 14))).parents(1);
  return doc;
}

DocumentBuilder silentSampleMovie() {
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

DocumentBuilder largeSampleMovie() {
  DocumentBuilder doc = sampleMovie();
  doc.add("BKGD", 7, Bytes(300 * 1024, 0x42)).named(u"Big backdrop");
  return doc;
}

DocumentBuilder bigSampleMovie(unsigned mebibytes) {
  DocumentBuilder doc = sampleMovie();
  for (unsigned i = 0; i < mebibytes; ++i) {
    doc.add("BKGD", 100 + i, Bytes(1 << 20, static_cast<std::uint8_t>(i))).named(u"Large backdrop");
  }
  return doc;
}

}  // namespace hush::test
