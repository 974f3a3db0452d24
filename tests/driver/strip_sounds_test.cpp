#include "driver/strip_sounds.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "support/document_builder.h"
#include "support/loaded_store.h"

namespace hush {
namespace {

using test::Bytes;
using test::bytesOf;
using test::DocumentBuilder;
using test::GroupBuilder;

class StripTest : public test::LoadedStore {
 protected:
  // Runs the pass: "" when it was done, else the group it refused and why.
  std::string strip() {
    const StripResult result = stripSounds(store);
    if (result.done()) return "";
    const auto& group = result.refusal->group;
    return (group ? std::to_string(group->number) + " " + tagText(group->tag) + ": " : "") + result.refusal->message;
  }

  std::vector<std::string> tags() const {
    std::vector<std::string> names;
    for (const auto& c : store.chunks()) names.push_back(tagText(c.tag));
    return names;
  }
};

TEST_F(StripTest, EmptyDocument) {
  load(DocumentBuilder());
  EXPECT_EQ(strip(), "");
  EXPECT_EQ(store.chunkCount(), 0u);
}

TEST_F(StripTest, RemovesSoundFromEveryPlace) {
  DocumentBuilder doc;
  doc.add("MVIE", 1).link("MSND", 1, 0).link("GGFR", 1, 1).link("MSND", 2, 2);
  doc.add("SCEN", 1).link("ACTR", 1, 0).link("WAVE", 1, 1);  // no MSND links: left alone
  doc.add("GGFR", 1, GroupBuilder(8).words({1, 1, 1}).words({2, 2, 2}).build());
  doc.add("WAVE", 1, bytesOf("riff"));
  doc.add("MIDS", 1, bytesOf("midi"));
  doc.add("ACTR", 1, bytesOf("actor")).link("MSND", 1, 0);  // not a movie or scene: keeps its link
  doc.add("GGAE", 1, GroupBuilder(20).words({6, 0, 0}).words({7, 0, 0}).build());
  doc.add("MSND", 1).parents(2);
  doc.add("MSND", 2).parents(1);
  load(doc);
  EXPECT_EQ(strip(), "");
  EXPECT_EQ(tags(), (std::vector<std::string>{"MVIE", "SCEN", "GGFR", "ACTR", "GGAE"}));
  EXPECT_EQ(store.chunks()[0].links, (std::vector<ChildLink>{{makeTag("GGFR"), 1, 1}}));
  EXPECT_EQ(store.chunks()[1].links.size(), 2u);
  EXPECT_EQ(store.chunks()[3].links.size(), 1u);
  EXPECT_EQ(payloadOf(2), GroupBuilder(8).words({2, 2, 2}).build());
  EXPECT_EQ(payloadOf(4), GroupBuilder(20).words({7, 0, 0}).build());
  EXPECT_EQ(payloadOf(3), bytesOf("actor"));
}

TEST_F(StripTest, GroupsWithoutSoundAreStillNormalised) {
  test::RawGroup raw;
  raw.reserved = 7;
  raw.fixedSize = 8;
  raw.data = bytesOf("....abcd");
  raw.spans = {{4, 4}};
  DocumentBuilder doc;
  doc.add("GGAE", 1, raw.build());
  load(doc);
  EXPECT_EQ(strip(), "");
  EXPECT_EQ(payloadOf(0), GroupBuilder(8).entry(bytesOf("abcd")).build());
}

TEST_F(StripTest, SoundChunksNextToEachOtherAndLast) {
  DocumentBuilder doc;
  doc.add("WAVE", 1);
  doc.add("MSND", 1);
  doc.add("ACTR", 1);
  doc.add("MIDS", 1);
  doc.add("MIDS", 2);
  load(doc);
  EXPECT_EQ(strip(), "");
  EXPECT_EQ(tags(), (std::vector<std::string>{"ACTR"}));
  EXPECT_EQ(store.current(), -1);

  ChunkyFile all;
  DocumentBuilder onlySound;
  onlySound.add("WAVE", 1);
  onlySound.add("MSND", 2);
  ASSERT_EQ(all.open(test::placeDocument(folder, onlySound.bytes(), "all.3mm")), kOpened);
  EXPECT_TRUE(stripSounds(all).done());
  EXPECT_EQ(all.chunkCount(), 0u);
}

TEST_F(StripTest, RefusedGroupStopsThePass) {
  DocumentBuilder doc;
  doc.add("GGAE", 1, GroupBuilder(8).words({1, 1, 1}).build());
  doc.add("GGFR", 4242, bytesOf("KCDC packed group"));
  doc.add("GGAE", 2, GroupBuilder(8).words({1, 1, 1}).build());
  doc.add("WAVE", 1);
  load(doc);
  EXPECT_EQ(strip(), "4242 GGFR: Bad marker");
  EXPECT_EQ(payloadOf(0), GroupBuilder(8).build());                      // done before the refusal
  EXPECT_EQ(payloadOf(2), GroupBuilder(8).words({1, 1, 1}).build());     // not reached
  EXPECT_EQ(store.chunkCount(), 4u);                                     // nothing deleted
}

TEST_F(StripTest, UnreadableGroupStopsThePass) {
  DocumentBuilder doc;
  doc.add("GGFR", 3, GroupBuilder(8).words({1, 2, 3}).build());
  load(doc);
  std::filesystem::resize_file(folder / "movie.3mm", 140);  // the file changed under us
  EXPECT_EQ(strip(), "3 GGFR: Couldn't read the group from the file");
}

TEST_F(StripTest, GroupOfTheLargestPayloadIsKeptAndSaved) {
  DocumentBuilder doc;
  doc.add("GGFR", 1, GroupBuilder(8).entry(Bytes(0xFFFFFF - 28, 0)).build());  // 2^24 - 1 bytes in all
  load(doc);
  EXPECT_EQ(strip(), "");
  EXPECT_EQ(store.save(test::storePath(folder / "out.3mm")), kSaved);
  ChunkyFile saved;
  ASSERT_EQ(saved.open(test::storePath(folder / "out.3mm")), kOpened);
  saved.selectChunk(0);
  EXPECT_EQ(saved.currentPayloadSize(), 0xFFFFFFu);
}

TEST_F(StripTest, GroupThatWouldGrowPastAPayloadIsRefused) {
  // 3,000 entries that all cover the same 8 KiB would write 24 MB.
  test::RawGroup raw;
  raw.fixedSize = 8;
  raw.data = Bytes(8192, 0x11);
  raw.spans.assign(3000, {0, 8192});
  DocumentBuilder doc;
  doc.add("GGFR", 1, raw.build());
  load(doc);
  EXPECT_EQ(strip(), "1 GGFR: Group too large to save");
}

// The growth allowed is 16 MiB over what the groups held, however many
// ordinary groups (which only shrink) come before.
TEST(GroupGrowthBudget, HoldsRewritesToTheirStoredSizePlus16MiB) {
  constexpr std::uint64_t kMiB = 1 << 20;
  struct Case {
    std::vector<std::pair<std::uint64_t, std::uint64_t>> groups;  // stored, rewritten
    bool lastAdmitted;
  };
  const Case cases[] = {
      {{{0, 16 * kMiB}}, true},
      {{{0, 16 * kMiB + 1}}, false},
      {{{100, 16 * kMiB + 100}}, true},
      {{{8 * kMiB, 0}, {8 * kMiB, 0}, {8 * kMiB, 0}, {0, 30 * kMiB}}, true},  // 24 MiB stored, none kept
      {{{0, 10 * kMiB}, {0, 6 * kMiB}, {0, 1}}, false},
  };
  for (const Case& c : cases) {
    GroupGrowth growth;
    bool admitted = true;
    for (const auto& [stored, rewritten] : c.groups) admitted = growth.admit(stored, rewritten);
    EXPECT_EQ(admitted, c.lastAdmitted) << c.groups.size() << " groups, the last " << c.groups.back().second;
  }
}

}  // namespace
}  // namespace hush
