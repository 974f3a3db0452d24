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

// Two new names are one file as Windows takes them: any case of any
// letter, any spelling of the path that leads to one folder.
TEST(WindowsFiles, NamesOfOneNewFile) {
  test::TempFolder folder;
  fs::create_directory(folder / "a rather long folder");
  const std::wstring longName = (folder / "a rather long folder").wstring();
  wchar_t shortName[MAX_PATH] = {};
  const DWORD length = GetShortPathNameW(longName.c_str(), shortName, MAX_PATH);
  const std::wstring in = longName + L"\\";
  struct Case { std::wstring a, b; bool one; };
  const Case cases[] = {
      {in + L"\u00c4.3mm", in + L"\u00e4.3mm", true},   {in + L"\u00c9-quiet.3mm", in + L"\u00e9-QUIET.3mm", true},
      {in + L"x.3mm", longName + L"/x.3mm", true},       {in + L"x.3mm", longName + L"\\\\x.3mm", true},
      {in + L"x.3mm", in + L"sub\\..\\x.3mm", true},     {in + L"x.3mm", L"\\\\?\\" + in + L"x.3mm", true},
      {in + L"x.3mm", longName + L".\\x.3mm", true},     {in + L"x.3mm", in + L"y.3mm", false},
      {in + L"\u00c4.3mm", in + L"A.3mm", false},       {in + L"gone\\x", in + L"GONE\\X", true},
      {in + L"x.3mm", std::wstring(shortName, length) + L"\\x.3mm", length > 0 && length < MAX_PATH},
  };
  for (const Case& c : cases) {
    const auto names = nativeFileSystem().namesOf({Path(c.a.begin(), c.a.end()), Path(c.b.begin(), c.b.end())});
    EXPECT_EQ(nameOneFile(names[0], names[1]), c.one) << fs::path(c.b).string();
  }
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
