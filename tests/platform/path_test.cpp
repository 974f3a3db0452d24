#include "platform/path.h"

#include <gtest/gtest.h>

namespace hush {
namespace {

TEST(WidenPath, EachByteBecomesOneUnit) {
  EXPECT_EQ(widenPath(""), u"");
  EXPECT_EQ(widenPath("a\x80\xFF"), (std::u16string{u'a', 0x80, 0xFF}));
  EXPECT_EQ(widenPath("caf\xC3\xA9"), (std::u16string{u'c', u'a', u'f', 0xC3, 0xA9}));
}

TEST(ExtendedLengthForm, DrivesSharesAndPathsAlreadyInTheForm) {
  const std::pair<std::u16string, std::u16string> cases[] = {
      {uR"(C:\films\movie.3mm)", uR"(\\?\C:\films\movie.3mm)"},
      {uR"(\\server\share\movie.3mm)", uR"(\\?\UNC\server\share\movie.3mm)"},
      {uR"(\\?\C:\films\movie.3mm)", uR"(\\?\C:\films\movie.3mm)"},
      {uR"(\\?\UNC\server\share\movie.3mm)", uR"(\\?\UNC\server\share\movie.3mm)"},
      {uR"(\\.\NUL)", uR"(\\.\NUL)"},
  };
  for (const auto& [full, extended] : cases) EXPECT_EQ(extendedLengthForm(full), extended);
}

}  // namespace
}  // namespace hush
