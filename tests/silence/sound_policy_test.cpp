#include "silence/sound_policy.h"

#include <gtest/gtest.h>

#include "common/byte_writer.h"
#include "groups/event_group.h"
#include "support/document_builder.h"

namespace hush {
namespace {

using test::Bytes;
using test::GroupBuilder;

Bytes words(std::vector<std::uint32_t> values, std::size_t extra = 0) {
  Bytes bytes;
  for (const auto v : values) appendWord32(bytes, v);
  bytes.resize(bytes.size() + extra, 0);
  return bytes;
}

TEST(SoundEvents, TheGroupsFixedSizeChoosesTheWordAndTheKind) {
  struct Case {
    std::uint32_t fixedSize;
    Bytes entry;
    bool sound;
  };
  const Case cases[] = {
      {8, words({0, 1, 0}), true},
      {8, words({6, 1, 0}, 20), true},
      {8, words({0, 1}), false},         // 8 bytes: too short
      {8, words({0, 1}, 3), false},      // 11 bytes: too short
      {8, words({6, 2, 0}), false},      // the first word does not count here
      {8, words({0, 0x101, 0}), false},  // a whole word, not a byte
      {8, Bytes{}, false},
      {20, words({6, 0, 0}), true},
      {0, words({6, 0, 0}), true},
      {12, words({6, 0}, 3), false},     // 11 bytes
      {20, words({262, 0, 0}), false},   // bytes 06 01 00 00
      {20, words({0, 1, 0}), false},
      {20, Bytes{}, false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(sound::isSoundEvent(c.entry, c.fixedSize), c.sound)
        << c.fixedSize << " " << ::testing::PrintToString(c.entry);
  }
}

Bytes filtered(const Bytes& payload) {
  EventGroup group(payload);
  group.removeSoundEvents();
  Bytes out;
  group.serialize(out);
  return out;
}

TEST(RemoveSoundEvents, KeepsTheOthersInOrder) {
  const Bytes in = GroupBuilder(8)
                       .words({1, 1, 1})   // sound
                       .words({2, 2, 2})
                       .words({3, 1, 3})   // sound
                       .words({4, 4, 4})
                       .build();
  EXPECT_EQ(filtered(in), GroupBuilder(8).words({2, 2, 2}).words({4, 4, 4}).build());
}

TEST(RemoveSoundEvents, TestIsChosenByFixedSizeAlone) {
  const auto group = [](std::uint32_t fixedSize) {
    return GroupBuilder(fixedSize).words({6, 0, 0}).words({0, 1, 0}).words({6, 1}, 3).build();
  };
  EXPECT_EQ(filtered(group(8)), GroupBuilder(8).words({6, 0, 0}).words({6, 1}, 3).build());
  for (const std::uint32_t other : {0u, 7u, 9u, 20u, 0xFFFFFFFFu}) {
    EXPECT_EQ(filtered(group(other)), GroupBuilder(other).words({0, 1, 0}).words({6, 1}, 3).build()) << other;
  }
}

TEST(RemoveSoundEvents, AllSoundLeavesAnEmptyGroup) {
  EXPECT_EQ(filtered(GroupBuilder(20).words({6, 0, 0}).words({6, 9, 9, 9}).build()), GroupBuilder(20).build());
  EXPECT_EQ(filtered(GroupBuilder(20).build()), GroupBuilder(20).build());
}

TEST(RemoveSoundEvents, NoSoundLeavesTheGroupAsItWas) {
  const Bytes in = GroupBuilder(8).words({1, 2, 3}).entry({}).entry({1}).build();
  EXPECT_EQ(filtered(in), in);
}

TEST(RemoveSoundEvents, EachSpanIsJudgedOnItsOwn) {
  // Two spans over the same bytes are both sound, or both not.
  test::RawGroup raw;
  raw.fixedSize = 8;
  raw.data = words({9, 1, 9});
  raw.spans = {{0, 12}, {0, 8}, {0, 12}};
  EXPECT_EQ(filtered(raw.build()), GroupBuilder(8).entry(words({9, 1})).build());
}

}  // namespace
}  // namespace hush
