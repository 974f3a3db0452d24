#include "driver/strip_sounds.h"
#include "driver/payload_budget.h"
#include "driver/failure_reason.h"

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
    const auto& [group, kind, words] = *result.refusal;
    return (group ? std::to_string(group->number) + " " + tagText(group->tag) + ": " : "") + refusalReason(kind, words);
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

// Groups that grow are charged, one by one, against what the movie's
// payloads cover: two that grow by 9 MiB each are too much together.
TEST_F(StripTest, GroupsThatTogetherGrowPast16MiBAreRefused) {
  test::RawGroup raw;
  raw.fixedSize = 8;
  raw.data = Bytes(1 << 20, 0x11);
  raw.spans.assign(10, {0, 1 << 20});
  DocumentBuilder doc;
  doc.add("GGFR", 1, raw.build());
  doc.add("GGFR", 2, raw.build());
  load(doc);
  EXPECT_EQ(strip(), "2 GGFR: Rewritten groups would outgrow the document by more than 16 MiB");
}

// What the silent movie writes, its header and index too, may outgrow the
// movie (here as long as its payloads reach) by 16 MiB.
TEST(PayloadBudget, TheSilentMovieMayOutgrowTheMovieBy16MiB) {
  constexpr std::uint32_t kMiB = 1 << 20;
  const ChunkTag group = makeTag("GGFR"), plain = makeTag("BKGD"), sound = makeTag("WAVE");
  struct Case {
    const char* what;
    std::vector<PayloadSpan> spans;
    std::vector<std::pair<std::uint64_t, std::uint64_t>> rewrites;  // stored, rewritten
    std::string outcome;  // "" when every rewrite is admitted
    std::uint64_t besidesPayloads = 0;
  };
  const std::string shared = "Records share more than 16 MiB of the file's bytes";
  const Case cases[] = {
      {"groups apart, each grows by 8 MiB", {{group, 0, kMiB, true}, {group, kMiB, kMiB, true}},
       {{kMiB, 9 * kMiB}, {kMiB, 9 * kMiB}}, ""},
      {"growth one byte past 16 MiB", {{group, 0, kMiB, true}}, {{kMiB, 17 * kMiB + 1}}, "rewrite 1"},
      {"shrinking groups make room", {{group, 0, 8 * kMiB, true}, {group, 8 * kMiB, 1, true}},
       {{8 * kMiB, 0}, {1, 24 * kMiB}}, ""},
      {"two groups overlap by a byte", {{group, 0, 10, true}, {group, 9, 10, true}}, {}, "Two event groups share bytes of the file"},
      {"a group inside a plain payload", {{plain, 0, 100, true}, {group, 10, 10, true}}, {}, ""},
      {"two empty groups at one place", {{group, 5, 0, true}, {group, 5, 0, true}}, {}, ""},
      {"an empty group inside another, for the codec to refuse", {{group, 0, 10, true}, {group, 5, 0, true}}, {}, ""},
      {"17 records on one MiB", std::vector<PayloadSpan>(17, {plain, 0, kMiB, true}), {}, ""},
      {"18 records on one MiB", std::vector<PayloadSpan>(18, {plain, 0, kMiB, true}), {}, shared},
      {"18 records on one MiB, a byte apart", [&] {
         std::vector<PayloadSpan> spans;
         for (std::uint32_t i = 0; i < 18; ++i) spans.push_back({plain, i, kMiB, true});
         return spans;
       }(), {}, shared},
      {"shared sounds are deleted, not written", std::vector<PayloadSpan>(40, {sound, 0, kMiB, true}), {}, ""},
      {"in memory counts, covers nothing", {{plain, 0, 17 * kMiB, false}}, {}, shared},
      {"the index written counts", {{plain, 0, kMiB, true}}, {}, shared, 16 * kMiB + 1},
  };
  for (const Case& c : cases) {
    std::uint64_t movie = 0;
    for (const auto& span : c.spans) movie = std::max<std::uint64_t>(movie, span.inFile ? span.pos + span.size : 0);
    auto plan = PayloadBudget::plan(c.spans, movie, c.besidesPayloads);
    std::string outcome = refusalReason(plan.refusal);
    for (std::size_t i = 0; plan.budget && i < c.rewrites.size() && outcome.empty(); ++i) {
      if (!plan.budget->admit(c.rewrites[i].first, c.rewrites[i].second)) outcome = "rewrite " + std::to_string(i + 1);
    }
    EXPECT_EQ(outcome, c.outcome) << c.what;
  }
}

}  // namespace
}  // namespace hush
