#include "chunky/chunky_format.h"

#include <gtest/gtest.h>

#include "support/document_builder.h"

namespace hush::format {
namespace {

using test::Bytes;

TEST(RecordLayout, SizesAndPadding) {
  EXPECT_EQ(recordSize(0, NameForm::None, 0), 20u);
  EXPECT_EQ(recordSize(2, NameForm::None, 0), 44u);
  EXPECT_EQ(recordSize(1, NameForm::Narrow, 2), 20u + 12 + 6);
  EXPECT_EQ(paddingAfter(recordSize(1, NameForm::Narrow, 2)), 2u);
  EXPECT_EQ(paddingAfter(recordSize(0, NameForm::Narrow, 4)), 0u);
  EXPECT_EQ(recordSize(0, NameForm::Wide, 3), 32u);
  EXPECT_EQ(paddingAfter(recordSize(0, NameForm::Wide, 3)), 0u);
  EXPECT_EQ(recordSize(0, NameForm::Wide, 4), 34u);
  EXPECT_EQ(paddingAfter(recordSize(0, NameForm::Wide, 4)), 2u);
  EXPECT_EQ(recordSize(0, NameForm::Wide, 300), 20u + 606);
}

TEST(RecordLayout, WrittenNamesHaveTheirSizeAndPadding) {
  for (const auto& [form, name] : std::vector<std::pair<NameForm, std::u16string>>{
           {NameForm::Narrow, u"ab"}, {NameForm::Narrow, u"abcd"}, {NameForm::Wide, u"abc"}, {NameForm::Wide, u"ab"}}) {
    Bytes out;
    writeName(out, form, name);
    const auto size = recordSize(0, form, name.size()) - kDescriptorSize;
    EXPECT_EQ(out.size(), size + paddingAfter(size + kDescriptorSize));
  }
}

TEST(Flags, FromMarksAndParents) {
  EXPECT_EQ(descriptorFlags(false, false, 0), 0x02);
  EXPECT_EQ(descriptorFlags(false, true, 0), 0x06);
  EXPECT_EQ(descriptorFlags(false, true, 3), 0x04);
  EXPECT_EQ(descriptorFlags(false, false, 1), 0x00);
  EXPECT_EQ(descriptorFlags(true, true, 5), 0x12);
}

std::optional<NameRecord> nameFrom(const Bytes& afterLinks, std::uint32_t size) {
  ByteReader in(afterLinks);
  return readName(in, kDescriptorSize, size);
}

TEST(NameRecords, FoundByTheRecordSize) {
  const Bytes narrow{0x03, 0x03, 2, 'h', 'i', 0};
  ASSERT_TRUE(nameFrom(narrow, 25));
  EXPECT_EQ(nameFrom(narrow, 25)->name, u"hi");
  EXPECT_FALSE(nameFrom(narrow, 25)->wide);
  EXPECT_FALSE(nameFrom(narrow, 24));  // the name would run past the record
  EXPECT_FALSE(nameFrom(narrow, 22));  // no room for marker and length

  const Bytes wide{0x05, 0x05, 2, 0, 'o', 0, 'k', 0, 0, 0};
  ASSERT_TRUE(nameFrom(wide, 28));
  EXPECT_EQ(nameFrom(wide, 28)->name, u"ok");
  EXPECT_TRUE(nameFrom(wide, 28)->wide);
  EXPECT_FALSE(nameFrom(wide, 27));
  EXPECT_FALSE(nameFrom(wide, 23));

  EXPECT_FALSE(nameFrom(Bytes{0x04, 0x04, 1, 'x', 0}, 25));
}

TEST(NameRecords, WidenedBytesAndCutAtZero) {
  EXPECT_EQ(nameFrom(Bytes{0x03, 0x03, 3, 0xE9, 0, 'x'}, 26)->name, u"\u00e9");
  EXPECT_EQ(nameFrom(Bytes{0x05, 0x05, 2, 0, 0x01, 0x30, 0, 0}, 28)->name, u"\u3001");
}

}  // namespace
}  // namespace hush::format
