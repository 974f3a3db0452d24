#include "groups/event_group.h"

#include <gtest/gtest.h>

#include "support/document_builder.h"

namespace hush {
namespace {

using test::Bytes;
using test::GroupBuilder;
using test::RawGroup;

Bytes roundTrip(const Bytes& payload) {
  EventGroup group(payload);
  Bytes out{0xAA, 0xBB};  // serialize must replace what was there
  group.serialize(out);
  return out;
}

std::string refusal(const Bytes& payload) {
  try {
    EventGroup group(payload);
  } catch (const LoadError& error) {
    return error.what();
  }
  return "accepted";
}

TEST(EventGroupWriting, WorkedExampleByteForByte) {
  EventGroup group;
  group.setFixedSize(8);
  const Bytes first{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  const Bytes second{13, 14, 15, 16};
  group.addEntry(first);
  group.addEntry(second);
  Bytes out;
  group.serialize(out);
  const Bytes expected{0x01, 0x00, 0x03, 0x03, 0x02, 0, 0, 0, 0x10, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x08, 0, 0, 0,
                       1,    2,    3,    4,    5,    6, 7, 8, 9,    10, 11, 12, 13,   14,   15,   16,
                       0,    0,    0,    0,    0x0C, 0, 0, 0, 0x0C, 0, 0, 0, 0x04, 0,    0,    0};
  EXPECT_EQ(out, expected);
  EXPECT_EQ(group.serializedSize(), expected.size());
}

TEST(EventGroupWriting, EmptyGroupIsTwentyBytesAndKeepsFixedSize) {
  const Bytes out = roundTrip([] { RawGroup g; g.fixedSize = 0x1234; return g.build(); }());
  const Bytes expected{0x01, 0x00, 0x03, 0x03, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x34, 0x12, 0, 0};
  EXPECT_EQ(out, expected);
}

TEST(EventGroupReading, NormalFormComesBackUnchanged) {
  const Bytes payload = GroupBuilder(8).words({1, 2, 3}).entry({}).words({9}, 3).build();
  EXPECT_EQ(roundTrip(payload), payload);
}

TEST(EventGroupReading, OddLayoutsAreWrittenInNormalForm) {
  // Data area "abcdefgh"; spans out of order, overlapping, with a gap, one
  // empty; reserved not 0xFFFFFFFF; bytes after the table.
  RawGroup raw;
  raw.reserved = 0;
  raw.fixedSize = 20;
  raw.data = test::bytesOf("abcdefgh");
  raw.spans = {{4, 3}, {0, 2}, {1, 4}, {7, 0}};
  raw.trailing = test::bytesOf("junk");
  EventGroup group(raw.build());
  ASSERT_EQ(group.entryCount(), 4u);
  EXPECT_EQ(group.fixedSize(), 20u);

  const Bytes expected = GroupBuilder(20)
                             .entry(test::bytesOf("efg"))
                             .entry(test::bytesOf("ab"))
                             .entry(test::bytesOf("bcde"))
                             .entry({})
                             .build();
  Bytes out;
  group.serialize(out);
  EXPECT_EQ(out, expected);
}

TEST(EventGroupReading, SpansMayReachIntoTheTable) {
  // Nothing says an entry must stay inside the data area, only inside the
  // payload; the last 8 bytes here are the table item itself.
  RawGroup raw;
  raw.fixedSize = 8;
  raw.data = test::bytesOf("xy");
  raw.spans = {{2, 8}};
  EventGroup group(raw.build());
  ASSERT_EQ(group.entryCount(), 1u);
  const Bytes entry(group.entry(0).begin(), group.entry(0).end());
  EXPECT_EQ(entry, (Bytes{2, 0, 0, 0, 8, 0, 0, 0}));
}

TEST(EventGroupReading, ReadingLeavesThePayloadAlone) {
  const Bytes payload = GroupBuilder(8).words({1, 1, 1}).build();
  const Bytes copy = payload;
  EventGroup group(payload);
  group.removeSoundEvents();
  EXPECT_EQ(payload, copy);
}

TEST(EventGroupRefusals, WrongMarkerIsBadMarker) {
  for (const std::uint32_t marker : {0x01000303u, 0x05050001u, 0u, 0x03030002u}) {
    RawGroup raw;
    raw.marker = marker;
    EXPECT_EQ(refusal(raw.build()), "Bad marker") << std::hex << marker;
  }
  // The marker is judged before the length: four foreign bytes are that too.
  EXPECT_EQ(refusal(test::bytesOf("KCDC")), "Bad marker");
  EXPECT_EQ(refusal(test::bytesOf("KCDC and a packed body of some length")), "Bad marker");
}

TEST(EventGroupRefusals, LayoutOutsideThePayload) {
  EXPECT_NE(refusal({}), "accepted");
  EXPECT_NE(refusal({0x01, 0x00, 0x03}), "accepted");
  Bytes header = RawGroup{}.build();
  header.pop_back();
  EXPECT_NE(refusal(header), "accepted");  // 19 bytes with a good marker

  // Over the data "abcd": the header's counts, and a span (offset, size).
  struct Case {
    std::uint32_t dataSize, entryCount;
    std::pair<std::uint32_t, std::uint32_t> span;
  };
  const Case cases[] = {
      {5, 1, {0, 4}},           // data runs past the end
      {4, 2, {0, 4}},           // the table is short
      {4, 1, {1, 12}},          // 4 data bytes + 8 table bytes from 1 is one too many
      {4, 1, {0xFFFFFFFF, 2}},  // offsets and sizes near 2^32 must not wrap back into range
      {4, 1, {2, 0xFFFFFFFF}},
      {4, 1, {0xFFFFFFF0, 0x20}},
      {4, 1, {0xFFFFFFEC, 4}},
      {4, 0xFFFFFFFF, {0, 4}},
      {0xFFFFFFF0, 1, {0, 4}},
  };
  for (const Case& c : cases) {
    RawGroup raw;
    raw.data = test::bytesOf("abcd");
    raw.dataSize = c.dataSize;
    raw.entryCount = c.entryCount;
    raw.spans = {{c.span.first, c.span.second}};
    EXPECT_NE(refusal(raw.build()), "accepted") << c.dataSize << " " << c.entryCount << " " << c.span.first;
  }
}

TEST(EventGroupRefusals, RefusalsAreLoadErrorsAndErrors) {
  const Bytes payload{1, 2};
  EXPECT_THROW(EventGroup{payload}, LoadError);
  EXPECT_THROW(EventGroup{payload}, Error);
  EXPECT_THROW(EventGroup{payload}, std::runtime_error);
}

TEST(EventGroupWriting, SharedBytesAreWrittenTwice) {
  RawGroup raw;
  raw.fixedSize = 8;
  raw.data = test::bytesOf("abcdef");
  raw.spans = {{0, 6}, {0, 6}};
  EventGroup group(raw.build());
  EXPECT_EQ(group.serializedSize(), 20u + 12 + 16);
  Bytes out;
  group.serialize(out);
  EXPECT_EQ(out, GroupBuilder(8).entry(test::bytesOf("abcdef")).entry(test::bytesOf("abcdef")).build());
}

}  // namespace
}  // namespace hush
