#include "groups/sound_filter.h"

#include <gtest/gtest.h>

#include "common/byte_writer.h"
#include "support/document_builder.h"

namespace hush {
namespace {

using testing::Bytes;
using testing::GroupBuilder;

Bytes words(std::vector<std::uint32_t> values, std::size_t extra = 0) {
  Bytes bytes;
  for (const auto v : values) appendWord32(bytes, v);
  bytes.resize(bytes.size() + extra, 0);
  return bytes;
}

TEST(SoundEventTests, FixedSizeEightLooksAtTheSecondWord) {
  EXPECT_TRUE(isSoundEventAt4(words({0, 1, 0})));
  EXPECT_TRUE(isSoundEventAt4(words({6, 1, 0}, 20)));
  EXPECT_FALSE(isSoundEventAt4(words({0, 1})));            // 8 bytes: too short
  EXPECT_FALSE(isSoundEventAt4(words({0, 1}, 3)));         // 11 bytes: too short
  EXPECT_FALSE(isSoundEventAt4(words({6, 2, 0})));         // the first word does not count here
  EXPECT_FALSE(isSoundEventAt4(words({0, 0x101, 0})));     // a whole word, not a byte
  EXPECT_FALSE(isSoundEventAt4(Bytes{}));
}

TEST(SoundEventTests, OtherFixedSizesLookAtTheFirstWord) {
  EXPECT_TRUE(isSoundEventAt0(words({6, 0, 0})));
  EXPECT_FALSE(isSoundEventAt0(words({6, 0}, 3)));         // 11 bytes
  EXPECT_FALSE(isSoundEventAt0(words({262, 0, 0})));       // bytes 06 01 00 00
  EXPECT_FALSE(isSoundEventAt0(words({0, 1, 0})));
  EXPECT_FALSE(isSoundEventAt0(Bytes{}));
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
  testing::RawGroup raw;
  raw.fixedSize = 8;
  raw.data = words({9, 1, 9});
  raw.spans = {{0, 12}, {0, 8}, {0, 12}};
  EXPECT_EQ(filtered(raw.build()), GroupBuilder(8).entry(words({9, 1})).build());
}

}  // namespace
}  // namespace hush
