// Saving on POSIX systems: permissions, links, folders we may not write,
// and the system calls the save makes, seen on their way to the system.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <filesystem>
#include <set>

#include "chunky/save_fixture.h"

// What a test asks of the calls below, and what they saw.
namespace {
namespace seen {
int failRenames = 0;         // so many renames fail, as on a full or broken disk
bool noProc = false;         // links through /proc fail, as where it is not mounted
int links = 0;               // links of an unnamed file into its folder
int emptyPathLinks = 0;      // of them, made with AT_EMPTY_PATH
std::set<std::string> syncedFolders;
}  // namespace seen

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}
}  // namespace

// Defined in the test program, these stand in front of the C library's for
// every caller in it, the store's platform layer included; each hands on to
// the library's own.

extern "C" int rename(const char* from, const char* to) {
  if (seen::failRenames > 0) {
    --seen::failRenames;
    errno = EIO;
    return -1;
  }
  static const auto real = next<int (*)(const char*, const char*)>("rename");
  return real(from, to);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  ++seen::links;
  if (seen::noProc && std::strncmp(from, "/proc/", 6) == 0) {
    errno = ENOENT;
    return -1;
  }
  seen::emptyPathLinks += (flags & AT_EMPTY_PATH) != 0 ? 1 : 0;
  static const auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int fsync(int fd) {
  struct stat st {};
  char path[PATH_MAX + 1] = {};
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && ::readlink(self.c_str(), path, PATH_MAX) > 0) {
    seen::syncedFolders.insert(path);
  }
  static const auto real = next<int (*)(int)>("fsync");
  return real(fd);
}

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

// A save whose rename fails leaves nothing; one where /proc is missing
// links its unnamed file another way (which needs root's privileges).
TEST_F(SaveTest, CommitWhenTheSystemLetsItDown) {
  struct Case {
    const char* what;
    int failRenames;
    bool noProc;
    SaveResult result;
  };
  for (const Case& c : {Case{"rename fails", 1, false, kNotSaved}, Case{"no /proc", 0, true, kSaved}}) {
    SCOPED_TRACE(c.what);
    if (c.noProc && ::geteuid() != 0) continue;
    fs::remove(folder / "out.3mm");
    load(test::sampleMovie());
    seen::failRenames = c.failRenames;
    seen::noProc = c.noProc;
    seen::links = seen::emptyPathLinks = 0;
    EXPECT_EQ(store.save(storePath(folder / "out.3mm")), c.result);
    seen::failRenames = 0;
    seen::noProc = false;
    EXPECT_EQ(folder.list().size(), c.result == kSaved ? 2u : 1u);  // no temporary file
    // Where the system has no unnamed files there is nothing to link.
    if (c.noProc && seen::links > 0) {
      EXPECT_GT(seen::emptyPathLinks, 0) << "never linked without /proc";
    }
    ASSERT_TRUE(store.close());
  }
}

TEST_F(SaveTest, TheFolderOfABareNameIsSynced) {
  load(test::sampleMovie());
  const fs::path before = fs::current_path();
  fs::current_path(folder.path());
  seen::syncedFolders.clear();
  const SaveResult result = store.save(u"out.3mm");
  fs::current_path(before);
  ASSERT_EQ(result, kSaved);
  EXPECT_TRUE(seen::syncedFolders.contains(fs::canonical(folder.path()).string()));
}

// copy_file_range answers 0 at the end of a source that is shorter than
// asked for (one that shrank under us): the copy fails, it does not spin.
TEST(PosixFiles, CopyFromASourceThatEndsEarlyFails) {
  test::TempFolder folder;
  test::writeFile(folder / "short.3mm", Bytes(1000, 7));
  const pid_t child = ::fork();
  if (child == 0) {
    ::alarm(10);
    auto source = nativeFileSystem().openForReading(storePath(folder / "short.3mm"));
    auto copy = nativeFileSystem().createTempBeside(storePath(folder / "copy.3mm"));
    ::_exit(source && copy && !copy->copyFrom(*source, 500, 5000) ? 0 : 1);
  }
  int raw = 0;
  ASSERT_EQ(::waitpid(child, &raw, 0), child);
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 0) << "status " << raw;
}

// Which file a path names is the file a link leads to, as for a save
// through a link to its own input.
TEST(PosixFiles, StateOfALinkIsTheStateOfItsFile) {
  test::TempFolder folder;
  test::writeFile(folder / "movie.3mm", Bytes(10, 1));
  fs::create_symlink("movie.3mm", folder / "link.3mm");
  const auto file = nativeFileSystem().stateOf(storePath(folder / "movie.3mm"));
  const auto link = nativeFileSystem().stateOf(storePath(folder / "link.3mm"));
  ASSERT_TRUE(file && link);
  EXPECT_EQ(*link, *file);
}

}  // namespace
}  // namespace hush
