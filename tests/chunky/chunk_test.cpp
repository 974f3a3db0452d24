#include "chunky/chunk.h"

#include <gtest/gtest.h>

#include <random>

#include "support/document_builder.h"

namespace hush {
namespace {

using test::Bytes;
using test::bytesOf;

ChildLink link(const char (&tag)[5], ChunkNumber number, ChildId id) { return ChildLink{makeTag(tag), number, id}; }

TEST(ChunkLinks, KeptInChildIdThenTagOrder) {
  Chunk chunk;
  EXPECT_EQ(chunk.addLink(link("SCEN", 1, 5)), 0);
  EXPECT_EQ(chunk.addLink(link("SCEN", 2, 2)), 0);
  EXPECT_EQ(chunk.addLink(link("ACTR", 3, 5)), 1);  // same id, lower tag: before SCEN 1
  EXPECT_EQ(chunk.addLink(link("ZZZZ", 4, 9)), 3);
  EXPECT_EQ(chunk.selectedLink, 3);
  EXPECT_EQ(chunk.links,
            (std::vector<ChildLink>{link("SCEN", 2, 2), link("ACTR", 3, 5), link("SCEN", 1, 5), link("ZZZZ", 4, 9)}));
}

TEST(ChunkLinks, ChildIdOrdersAsSigned) {
  Chunk chunk;
  chunk.addLink(link("SCEN", 1, 0));
  EXPECT_EQ(chunk.addLink(link("SCEN", 2, 0x80000000)), 0);
  EXPECT_EQ(chunk.addLink(link("SCEN", 3, 0xFFFFFFFF)), 1);  // -1 after INT_MIN, before 0
}

TEST(ChunkLinks, SameIdAndTagIsRefusedWhateverTheNumber) {
  Chunk chunk;
  chunk.addLink(link("MSND", 1, 7));
  EXPECT_EQ(chunk.addLink(link("MSND", 2, 7)), kNoLink);
  EXPECT_EQ(chunk.selectedLink, kNoLink);
  EXPECT_EQ(chunk.links.size(), 1u);
  EXPECT_EQ(chunk.links[0].number, 1u);
}

TEST(ChunkLinks, FileOrderBulkLoadMatchesOneByOne) {
  std::mt19937 random(42);
  for (int round = 0; round < 500; ++round) {
    std::vector<ChildLink> fileOrder(random() % 12);
    for (auto& l : fileOrder) {
      // Few distinct values, so repeats and ties are common.
      l = ChildLink{static_cast<ChunkTag>(random() % 3), static_cast<ChunkNumber>(random() % 4), static_cast<ChildId>(static_cast<int>(random() % 4) - 1)};
    }
    Chunk oneByOne;
    for (const auto& l : fileOrder) oneByOne.addLink(l);
    Chunk bulk;
    bulk.setLinksInFileOrder(fileOrder);
    ASSERT_EQ(bulk.links, oneByOne.links) << "round " << round;
    ASSERT_EQ(bulk.selectedLink, oneByOne.selectedLink) << "round " << round;
  }
}

TEST(ChunkLinks, SelectAndErase) {
  Chunk chunk;
  chunk.setLinksInFileOrder({link("A___", 1, 1), link("B___", 2, 2), link("C___", 3, 3)});
  EXPECT_FALSE(chunk.selectLink(3));
  EXPECT_EQ(chunk.selectedLink, 2);  // a failed selection keeps the earlier one
  EXPECT_TRUE(chunk.selectLink(1));
  ChildLink selected;
  ASSERT_TRUE(chunk.selectedLinkValue(selected));
  EXPECT_EQ(selected, link("B___", 2, 2));
  EXPECT_TRUE(chunk.eraseSelectedLink());
  EXPECT_EQ(chunk.links, (std::vector<ChildLink>{link("A___", 1, 1), link("C___", 3, 3)}));
  EXPECT_FALSE(chunk.selectedLinkValue(selected));
  EXPECT_FALSE(chunk.eraseSelectedLink());
}

struct Marks {
  bool packed;
  bool poth;
};

Marks marksOf(const Bytes& payload) {
  Chunk chunk;
  chunk.setPayload(payload);
  return {chunk.packed, chunk.pothMarked};
}

TEST(ChunkPayload, MarksComeFromTheLeadingBytes) {
  EXPECT_TRUE(marksOf(bytesOf("KCDC")).packed);
  EXPECT_TRUE(marksOf(bytesOf("KCD2 and more")).packed);
  EXPECT_FALSE(marksOf(bytesOf("KCDX and more")).packed);
  EXPECT_FALSE(marksOf(bytesOf("KCD")).packed);
  EXPECT_TRUE(marksOf(bytesOf("KCDCPOTHabcd")).packed);
  EXPECT_TRUE(marksOf(bytesOf("KCDCPOTHabcd")).poth);
  EXPECT_FALSE(marksOf(bytesOf("KCDCPOTHabc")).poth);  // 11 bytes
  EXPECT_FALSE(marksOf(bytesOf("xPOTHxxxxxxxx")).poth);
}

TEST(ChunkPayload, ReplacingMovesThePayloadToMemory) {
  Chunk chunk;
  // As the loader leaves a packed, POTH-marked payload in the file.
  chunk.filePos = 100;
  chunk.fileSize = 50;
  chunk.inFile = chunk.packed = chunk.pothMarked = true;
  EXPECT_EQ(chunk.payloadSize(), 50u);
  Bytes into(50);
  EXPECT_FALSE(chunk.readPayload(nullptr, into));  // no stream to read from

  chunk.setPayload(bytesOf("first"));
  chunk.setPayload({});
  EXPECT_FALSE(chunk.inFile);
  EXPECT_FALSE(chunk.packed);
  EXPECT_FALSE(chunk.pothMarked);
  EXPECT_EQ(chunk.payloadSize(), 0u);
  Bytes untouched{7};
  EXPECT_TRUE(chunk.readPayload(nullptr, untouched));
  EXPECT_EQ(untouched, Bytes{7});

  chunk.setPayload(bytesOf("second"));
  Bytes out(6);
  ASSERT_TRUE(chunk.readPayload(nullptr, out));
  EXPECT_EQ(out, bytesOf("second"));
  Bytes tooSmall(5);
  EXPECT_FALSE(chunk.readPayload(nullptr, tooSmall));
}

TEST(ChunkName, FormFollowsTheUnitsAndTheStoredForm) {
  Chunk chunk;
  chunk.setName(u"caf\u00e9", false);
  EXPECT_EQ(chunk.nameForm, format::NameForm::Narrow);
  chunk.setName(u"ab", true);
  EXPECT_EQ(chunk.nameForm, format::NameForm::Wide);
  EXPECT_TRUE(chunk.nameWasWide);
  chunk.setName(u"\u0101", false);
  EXPECT_EQ(chunk.nameForm, format::NameForm::Wide);
  chunk.setName(u"", true);
  EXPECT_EQ(chunk.nameForm, format::NameForm::None);
}

}  // namespace
}  // namespace hush
