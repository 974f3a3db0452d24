// Saving on POSIX systems: permissions, links, folders we may not write.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "chunky/save_fixture.h"

namespace hush {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::bytesOf;
using test::readFile;
using test::storePath;

TEST_F(SaveTest, ReadOnlyFolderFailsCleanly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere";
  load(test::sampleMovie());
  fs::create_directory(folder / "locked");
  fs::permissions(folder / "locked", fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_EQ(store.save(storePath(folder / "locked" / "out.3mm")), kNotSaved);
}

TEST_F(SaveTest, ExistingTargetKeepsItsPermissionBits) {
  load(test::sampleMovie());
  test::writeFile(folder / "out.3mm", bytesOf("old"));
  fs::permissions(folder / "out.3mm", fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  EXPECT_EQ(fs::status(folder / "out.3mm").permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(SaveTest, NewTargetGetsOrdinaryPermissions) {
  load(test::sampleMovie());
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  const mode_t mask = ::umask(0);
  ::umask(mask);
  EXPECT_EQ(static_cast<mode_t>(fs::status(folder / "out.3mm").permissions()), 0666 & ~mask);
}

TEST_F(InPlaceSaveTest, ThroughASymlink) {
  fs::create_symlink("movie.3mm", folder / "link.3mm");
  expectSavedInPlace(storePath(folder / "link.3mm"));
  EXPECT_TRUE(fs::is_symlink(folder / "link.3mm"));  // the link stays a link
  EXPECT_EQ(folder.list(), (std::vector<std::string>{"link.3mm", "movie.3mm"}));
}

TEST_F(InPlaceSaveTest, ThroughAHardLink) {
  test::writeFile(folder / "movie.3mm", test::sampleMovie().bytes());
  fs::create_hard_link(folder / "movie.3mm", folder / "other.3mm");
  ASSERT_EQ(store.open(storePath(folder / "movie.3mm")), kOpened);
  ASSERT_EQ(store.save(storePath(folder / "other.3mm")), kSaved);
  ChunkyFile reloaded;
  EXPECT_EQ(reloaded.open(storePath(folder / "other.3mm")), kOpened);
  EXPECT_EQ(reloaded.chunkCount(), test::sampleMovie().chunks.size());
}

}  // namespace
}  // namespace hush
