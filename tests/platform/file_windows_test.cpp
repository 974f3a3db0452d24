// Saving on Windows: other spellings of the document's own path, read-only
// targets.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <filesystem>

#include "chunky/save_fixture.h"
#include "platform/access_rules_windows.h"

namespace hush {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::readFile;
using test::storePath;

std::u16string upper(std::u16string text) {
  for (auto& c : text) c = static_cast<char16_t>(std::towupper(c));
  return text;
}

// Wine keeps no protected rules to test a replacement against, so the
// choice is checked here: protected rules stay protected, and inherited
// ones keep inheriting.
TEST(AccessRules, ProtectionCarriesOver) {
  EXPECT_EQ(accessRulesToCarry(SE_DACL_PROTECTED | SE_DACL_PRESENT),
            DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION);
  EXPECT_EQ(accessRulesToCarry(SE_DACL_PRESENT), DACL_SECURITY_INFORMATION | UNPROTECTED_DACL_SECURITY_INFORMATION);
}

TEST_F(InPlaceSaveTest, OtherLetterCase) {
  expectSavedInPlace(upper(storePath(folder / "movie.3mm")));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm"}));
}

TEST_F(InPlaceSaveTest, ForwardSlashes) {
  auto path = storePath(folder / "movie.3mm");
  std::replace(path.begin(), path.end(), u'\\', u'/');
  expectSavedInPlace(path);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm"}));
}

TEST_F(InPlaceSaveTest, ShortName) {
  test::writeFile(folder / "a rather long movie name.3mm", test::sampleMovie().bytes());
  const std::wstring longName = (folder / "a rather long movie name.3mm").wstring();
  wchar_t shortName[MAX_PATH];
  const DWORD length = GetShortPathNameW(longName.c_str(), shortName, MAX_PATH);
  if (length == 0 || length >= MAX_PATH || longName == shortName) GTEST_SKIP() << "no short names here";
  ASSERT_EQ(store.open(storePath(longName)), kOpened);
  EXPECT_EQ(store.save(std::u16string(shortName, shortName + length)), kSaved);
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"a rather long movie name.3mm"}));
}

TEST_F(SaveTest, ReadOnlyTargetFailsCleanly) {
  load(test::sampleMovie());
  test::writeFile(folder / "out.3mm", test::bytesOf("old"));
  fs::permissions(folder / "out.3mm", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  EXPECT_EQ(store.save(storePath(folder / "out.3mm")), kNotSaved);
  fs::permissions(folder / "out.3mm", fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(readFile(folder / "out.3mm"), test::bytesOf("old"));
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"movie.3mm", "out.3mm"}));
}

}  // namespace
}  // namespace hush
