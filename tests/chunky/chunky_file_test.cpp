#include "chunky/chunky_file.h"

#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <unordered_map>

#include "support/document_builder.h"
#include "support/loaded_store.h"
#include "support/temp_folder.h"

namespace hush {
namespace {

using test::Bytes;
using test::bytesOf;
using test::ChunkRecipe;
using test::DocumentBuilder;

class StoreTest : public test::LoadedStore {
 protected:
  std::vector<std::pair<ChunkTag, ChunkNumber>> identities() const {
    std::vector<std::pair<ChunkTag, ChunkNumber>> ids;
    for (const auto& c : store.chunks()) ids.emplace_back(c.tag, c.number);
    return ids;
  }
};

TEST_F(StoreTest, ClosedStoreGivesEmptyResults) {
  EXPECT_EQ(store.chunkCount(), 0u);
  EXPECT_FALSE(store.selectChunk(0));
  ChunkInfo info{1, 2, 1, 3, 4};
  EXPECT_FALSE(store.describeCurrent(info));
  EXPECT_EQ(info.tag, 1u);  // untouched
  EXPECT_EQ(store.currentPayloadSize(), 0u);
  Bytes into{9};
  EXPECT_FALSE(store.readCurrentPayload(into));
  EXPECT_EQ(store.currentLinkCount(), 0);
  EXPECT_TRUE(store.currentLinks().empty());
  EXPECT_EQ(store.findChunk(0, 0), -1);
  EXPECT_FALSE(store.replaceCurrentPayload(into));
  EXPECT_FALSE(store.selectCurrentLink(0));
  EXPECT_FALSE(store.unlinkSelected());
  EXPECT_FALSE(store.deleteCurrent());
  EXPECT_FALSE(store.close());
  EXPECT_EQ(store.save(u"anything.3mm"), kNotSaved);
}

TEST_F(StoreTest, CursorAndQueries) {
  DocumentBuilder doc;
  doc.add("MVIE", 1, bytesOf("KCD2body")).link("SCEN", 1, 0).link("MSND", 2, 1);
  doc.add("SCEN", 1, bytesOf("scene"));
  load(doc);
  EXPECT_EQ(store.current(), -1);
  ChunkInfo info;
  EXPECT_FALSE(store.describeCurrent(info));  // nothing selected after a load

  ASSERT_TRUE(store.selectChunk(0));
  EXPECT_FALSE(store.selectChunk(2));
  EXPECT_EQ(store.current(), 0);  // a failed selection keeps the current chunk
  ASSERT_TRUE(store.describeCurrent(info));
  EXPECT_EQ(info.tag, makeTag("MVIE"));
  EXPECT_EQ(info.number, 1u);
  EXPECT_EQ(info.packed, 1);
  EXPECT_EQ(info.payloadSize, 8u);
  EXPECT_EQ(info.linkCount, 2);
  Bytes payload(store.currentPayloadSize());
  ASSERT_TRUE(store.readCurrentPayload(payload));
  EXPECT_EQ(payload, bytesOf("KCD2body"));

  const auto before = store.currentLinks();
  ASSERT_TRUE(store.selectCurrentLink(1));
  ASSERT_TRUE(store.unlinkSelected());
  EXPECT_EQ(before.size(), 2u);  // the caller's copy is its own
  EXPECT_EQ(store.currentLinks().size(), 1u);

  ASSERT_TRUE(store.replaceCurrentPayload(bytesOf("new")));
  ASSERT_TRUE(store.describeCurrent(info));
  EXPECT_EQ(info.payloadSize, 3u);
  EXPECT_EQ(info.packed, 0);
}

TEST_F(StoreTest, FindChunkTakesTheFirstMatchAndFollowsDeletions) {
  DocumentBuilder doc;
  doc.add("MSND", 1, bytesOf("a"));
  doc.add("WAVE", 1, bytesOf("b"));
  doc.add("MSND", 1, bytesOf("c"));  // a duplicate identity
  load(doc);
  EXPECT_EQ(store.findChunk(makeTag("MSND"), 1), 0);
  EXPECT_EQ(store.findChunk(makeTag("WAVE"), 1), 1);
  EXPECT_EQ(store.findChunk(makeTag("WAVE"), 2), -1);
  store.selectChunk(0);
  store.deleteCurrent();
  EXPECT_EQ(store.findChunk(makeTag("MSND"), 1), 1);
  EXPECT_EQ(store.findChunk(makeTag("WAVE"), 1), 0);
}

TEST_F(StoreTest, FindChunkWithNumbersOfEveryWidth) {
  // One tag leaves all 32 bits of a short key to the numbers; two cannot
  // share them.
  for (const bool twoTags : {false, true}) {
    DocumentBuilder doc;
    for (const ChunkNumber number : {0xFFFFFFFFu, 5u, 0x80000000u, 5u, 0u}) doc.add("ACTR", number);
    if (twoTags) doc.add("BKGD", 0xFFFFFFFF);
    ChunkyFile local;
    ASSERT_EQ(local.open(test::placeDocument(folder, doc.bytes(), twoTags ? "two.3mm" : "one.3mm")), kOpened);
    EXPECT_EQ(local.findChunk(makeTag("ACTR"), 0xFFFFFFFF), 0);
    EXPECT_EQ(local.findChunk(makeTag("ACTR"), 5), 1);
    EXPECT_EQ(local.findChunk(makeTag("ACTR"), 0x80000000), 2);
    EXPECT_EQ(local.findChunk(makeTag("ACTR"), 0), 4);
    EXPECT_EQ(local.findChunk(makeTag("ACTR"), 6), -1);
    EXPECT_EQ(local.findChunk(makeTag("BKGD"), 0xFFFFFFFF), twoTags ? 5 : -1);
  }
}

TEST_F(StoreTest, NoDocumentCanMakeLookupsSlow) {
  // Keys that all fall into one bucket of a hash table sized for them, the
  // way a crafted document would pick its numbers; three tags, since one
  // tag's numbers run out. Each lookup must still cost a few steps.
  constexpr std::uint32_t kPerTag = 34000;
  std::unordered_map<std::uint64_t, std::int32_t> sizing;
  sizing.reserve(3 * kPerTag);
  const std::uint64_t buckets = sizing.bucket_count();
  DocumentBuilder doc;
  for (const ChunkTag tag : {makeTag("ACTR"), makeTag("BKGD"), makeTag("PATH")}) {
    const std::uint64_t first = (buckets - ((std::uint64_t{tag} << 32) % buckets)) % buckets;
    for (std::uint64_t i = 0; i < kPerTag; ++i) {
      ChunkRecipe chunk;
      chunk.tag = tag;
      chunk.number = static_cast<ChunkNumber>(first + i * buckets);
      doc.chunks.push_back(chunk);
    }
  }
  load(doc);
  const auto start = std::chrono::steady_clock::now();
  for (std::size_t i = 0; i < store.chunks().size(); i += 997) {
    EXPECT_EQ(store.findChunk(store.chunks()[i].tag, store.chunks()[i].number), static_cast<std::int32_t>(i));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));  // hashed by value: 12 s
}

TEST_F(StoreTest, UnlinkLowersTheChildsCountWithoutWrapping) {
  DocumentBuilder doc;
  doc.add("MVIE", 1).link("MSND", 1, 0).link("MSND", 2, 1).link("MSND", 3, 2).link("MVIE", 1, 3);
  doc.add("MSND", 1).parents(2);
  doc.add("MSND", 2).parents(0);
  load(doc);
  store.selectChunk(0);
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(store.selectCurrentLink(0));
    ASSERT_TRUE(store.unlinkSelected());
  }
  EXPECT_EQ(store.chunks()[1].refCount, 1);
  EXPECT_EQ(store.chunks()[2].refCount, 0);  // stays 0, never 65535
  EXPECT_EQ(store.chunks()[0].refCount, 0);  // its link to itself lowered its own count, from 0
  EXPECT_FALSE(store.unlinkSelected());       // nothing selected any more
  EXPECT_EQ(store.currentLinkCount(), 0);
}

// Unlinks lower their children's counts late, but as if at the unlink: in
// the record the key named then, and before a deletion or a save.
TEST_F(StoreTest, LoweredCountsLandAsIfAtTheUnlink) {
  DocumentBuilder doc;
  doc.add("SCEN", 1).link("ACTR", 1, 0).link("PATH", 1, 1).link("TBOX", 1, 2);
  doc.add("ACTR", 1).parents(2);  // the one the key names
  doc.add("ACTR", 1).parents(2);
  doc.add("PATH", 1).parents(2);
  doc.add("TBOX", 1).parents(2);
  load(doc);
  const auto unlink = [&](const char(&tag)[5]) {
    store.selectChunk(0);
    EXPECT_EQ(store.unlinkCurrentLinksTagged(makeTag(tag)), 1u);
  };
  unlink("ACTR");
  store.selectChunk(1);
  ASSERT_TRUE(store.deleteCurrent());
  EXPECT_EQ(store.chunks()[1].refCount, 2);  // the other ACTR 1
  unlink("PATH");
  const ChunkTag actors[] = {makeTag("ACTR")};
  ASSERT_EQ(store.deleteChunksTagged(actors), 1u);
  unlink("TBOX");
  ASSERT_EQ(store.save(test::storePath(folder / "saved.3mm")), kSaved);

  ChunkyFile saved;
  ASSERT_EQ(saved.open(test::storePath(folder / "saved.3mm")), kOpened);
  for (const ChunkTag tag : {makeTag("PATH"), makeTag("TBOX")}) {
    const std::int32_t index = saved.findChunk(tag, 1);
    ASSERT_GE(index, 0);
    EXPECT_EQ(saved.chunks()[static_cast<std::size_t>(index)].refCount, 1) << tagText(tag);
  }
}

TEST_F(StoreTest, UnlinkWithAFailedSelectionUsesTheEarlierOne) {
  DocumentBuilder doc;
  doc.add("MVIE", 1).link("MSND", 1, 0).link("SCEN", 1, 1);
  load(doc);
  store.selectChunk(0);
  ASSERT_TRUE(store.selectCurrentLink(0));
  EXPECT_FALSE(store.selectCurrentLink(2));
  ASSERT_TRUE(store.unlinkSelected());
  EXPECT_EQ(store.currentLinks(), (std::vector<ChildLink>{{makeTag("SCEN"), 1, 1}}));
  EXPECT_FALSE(store.unlinkSelected());
}

TEST_F(StoreTest, DeleteKeepsOrderAndRanges) {
  DocumentBuilder doc;
  doc.add("ACTR", 5);
  doc.add("ACTR", 2);
  doc.add("SCEN", 7);
  doc.add("ACTR", 9);
  doc.add("ACTR", 0xFFFFFFFF);
  load(doc);
  const auto actr = makeTag("ACTR");
  const auto scen = makeTag("SCEN");
  EXPECT_EQ(store.tagRanges(), (std::vector<TagRange>{{actr, 2, 0xFFFFFFFF}, {scen, 7, 7}}));

  store.selectChunk(0);  // ACTR 5: inside its range
  ASSERT_TRUE(store.deleteCurrent());
  EXPECT_EQ(store.current(), -1);
  ChunkInfo info;
  EXPECT_FALSE(store.describeCurrent(info));
  EXPECT_EQ(store.tagRanges(), (std::vector<TagRange>{{actr, 2, 0xFFFFFFFF}, {scen, 7, 7}}));

  store.selectChunk(3);  // ACTR 0xFFFFFFFF: the top of its range, and the last record
  store.deleteCurrent();
  EXPECT_EQ(store.tagRanges(), (std::vector<TagRange>{{actr, 2, 9}, {scen, 7, 7}}));
  EXPECT_FALSE(store.selectChunk(3));

  store.selectChunk(1);  // the only SCEN
  store.deleteCurrent();
  EXPECT_EQ(store.tagRanges(), (std::vector<TagRange>{{actr, 2, 9}}));
  EXPECT_EQ(identities(), (std::vector<std::pair<ChunkTag, ChunkNumber>>{{actr, 2}, {actr, 9}}));
  EXPECT_EQ(store.chunkCount(), 2u);
}

// More tags than the store keeps at hand, coming back after others: the
// ranges are still each tag's own, in order of first appearance.
TEST_F(StoreTest, RangesOfManyTagsInTurn) {
  DocumentBuilder doc;
  std::vector<TagRange> expected;
  for (ChunkNumber round = 0; round < 3; ++round) {
    for (ChunkTag t = 0; t < 100; ++t) {
      const ChunkTag tag = makeTag("AA00") + t * 0x10001;
      const ChunkNumber number = (t * 7 + round * 13) % 50;
      doc.add("ACTR", number).tag = tag;
      if (round == 0) expected.push_back(TagRange{tag, number, number});
      expected[t].lowNumber = std::min(expected[t].lowNumber, number);
      expected[t].highNumber = std::max(expected[t].highNumber, number);
    }
  }
  load(doc);
  EXPECT_EQ(store.tagRanges(), expected);
}

TEST_F(StoreTest, CloseForgetsTheDocument) {
  DocumentBuilder doc;
  doc.add("MVIE", 1);
  doc.add("SCEN", 9);
  doc.headerId = 0xABCD;
  load(doc);
  store.selectChunk(0);
  EXPECT_TRUE(store.close());
  EXPECT_FALSE(store.isOpen());
  EXPECT_TRUE(store.path().empty());
  EXPECT_EQ(store.current(), -1);
  EXPECT_EQ(store.chunkCount(), 0u);
  EXPECT_TRUE(store.tagRanges().empty());
  EXPECT_EQ(store.headerId(), 0u);
  EXPECT_FALSE(store.close());
  // A second document starts from nothing: no range of the first one's.
  DocumentBuilder other;
  other.add("MVIE", 4);
  load(other, "other.3mm");
  EXPECT_EQ(store.tagRanges(), (std::vector<TagRange>{{makeTag("MVIE"), 4, 4}}));
}

// The whole-store edits must end exactly where the single edits, repeated
// as the stripping pass would, end.
TEST(StoreBatchEdits, SameOutcomeAsOneEditAtATime) {
  const ChunkTag tags[] = {makeTag("MVIE"), makeTag("SCEN"), makeTag("MSND"),
                           makeTag("WAVE"), makeTag("MIDS"), makeTag("ACTR")};
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    DocumentBuilder doc;
    const int n = static_cast<int>(random() % 14);
    for (int i = 0; i < n; ++i) {
      auto& chunk = doc.add("ACTR", random() % 4);
      chunk.tag = tags[random() % 6];
      chunk.refCount = static_cast<std::uint16_t>(random() % 3);
      for (int l = static_cast<int>(random() % 5); l > 0; --l) {
        chunk.links.push_back(ChildLink{tags[random() % 6], static_cast<ChunkNumber>(random() % 4),
                                        static_cast<ChildId>(random() % 6)});
      }
    }
    test::TempFolder folder;
    const auto path = test::placeDocument(folder, doc.bytes());
    ChunkyFile single;
    ChunkyFile batch;
    ASSERT_EQ(single.open(path), kOpened);
    ASSERT_EQ(batch.open(path), kOpened);

    const ChunkTag msnd = makeTag("MSND");
    for (std::uint32_t i = 0; i < single.chunkCount(); ++i) {
      single.selectChunk(i);
      for (bool removed = true; removed;) {
        removed = false;
        const auto links = single.currentLinks();
        for (std::uint16_t j = 0; j < links.size(); ++j) {
          if (links[j].tag == msnd) {
            single.selectCurrentLink(j);
            single.unlinkSelected();
            removed = true;
            break;
          }
        }
      }
      batch.selectChunk(i);
      batch.unlinkCurrentLinksTagged(msnd);
    }
    const ChunkTag doomed[] = {makeTag("WAVE"), msnd, makeTag("MIDS")};
    for (std::uint32_t j = 0; j < single.chunkCount();) {
      single.selectChunk(j);
      ChunkInfo info;
      ASSERT_TRUE(single.describeCurrent(info));
      if (std::find(std::begin(doomed), std::end(doomed), info.tag) != std::end(doomed)) {
        single.deleteCurrent();
      } else {
        ++j;
      }
    }
    batch.findChunk(msnd, 0);  // a lookup the deletion must keep right
    batch.deleteChunksTagged(doomed);

    ASSERT_EQ(batch.chunkCount(), single.chunkCount());
    for (std::size_t i = 0; i < single.chunks().size(); ++i) {
      const Chunk& a = single.chunks()[i];
      const Chunk& b = batch.chunks()[i];
      ASSERT_EQ(a.tag, b.tag);
      ASSERT_EQ(a.number, b.number);
      ASSERT_EQ(a.refCount, b.refCount) << "round " << round << " chunk " << i;
      ASSERT_EQ(a.links, b.links);
      ASSERT_EQ(a.selectedLink, b.selectedLink);
    }
    auto sortedRanges = [](std::vector<TagRange> ranges) {
      std::sort(ranges.begin(), ranges.end(), [](const TagRange& x, const TagRange& y) { return x.tag < y.tag; });
      return ranges;
    };
    ASSERT_EQ(sortedRanges(batch.tagRanges()), sortedRanges(single.tagRanges()));
    for (const ChunkTag tag : tags) {
      for (ChunkNumber number = 0; number < 4; ++number) {
        ASSERT_EQ(batch.findChunk(tag, number), single.findChunk(tag, number)) << "round " << round;
      }
    }
    EXPECT_EQ(batch.current(), -1);
  }
}

}  // namespace
}  // namespace hush
