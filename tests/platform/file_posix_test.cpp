// Saving on POSIX systems: permissions, links, folders we may not write,
// and the system calls the save makes, seen on their way to the system.
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <cerrno>
#include <cstdarg>
#include <climits>
#include <cstring>
#include <filesystem>
#include <map>
#include <array>
#include <regex>
#include <set>
#include <vector>

#include "chunky/save_fixture.h"
#include "support/ordinary_user.h"

// What a test asks of the calls below, and what they saw.
namespace {
namespace seen {
// Calls made to fail: the call (or "O_TMPFILE", "O_EXCL" for those kinds of
// openat), the error it gives, and how many times.
std::map<std::string, std::pair<int, int>> failing;
bool noProc = false;         // links through /proc fail, as where it is not mounted
bool noLinks = false;        // every link of an unnamed file fails, as on an old kernel without /proc
int emptyPathLinks = 0;      // links made with AT_EMPTY_PATH
std::vector<std::string> linkNames;  // the names unnamed files were linked as
std::set<std::string> syncedFolders;
std::vector<bool> filesHeldWhenSynced;  // whether another could lock each file synced
std::vector<bool> heldWhenRenamed;      // whether each file renamed was locked just before
int closedTwice = 0;                    // descriptors closed that were no longer open
}  // namespace seen

// Whether some open file holds a lock on the file `fd` names.
bool heldByAnother(int fd) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  const int other = ::open(self.c_str(), O_RDWR | O_CLOEXEC);
  struct flock lock {};
  lock.l_type = F_WRLCK;
  const bool held = other >= 0 && ::fcntl(other, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  ::close(other);
  return held;
}

template <typename Function>
Function next(const char* name) {
  return reinterpret_cast<Function>(::dlsym(RTLD_NEXT, name));
}

// Whether `call` is made to fail now; then errno says why.
bool fails(const char* call) {
  const auto it = seen::failing.find(call);
  if (it == seen::failing.end() || it->second.second <= 0) return false;
  --it->second.second;
  errno = it->second.first;
  return true;
}
}  // namespace

// Defined in the test program, these stand in front of the C library's for
// every caller in it, the store's platform layer included; each hands on to
// the library's own.

extern "C" int renameat(int fromFolder, const char* from, int toFolder, const char* to) {
  static const auto real = next<int (*)(int, const char*, int, const char*)>("renameat");
  const int file = ::openat(fromFolder, from, O_RDONLY | O_CLOEXEC);
  if (file >= 0) {
    seen::heldWhenRenamed.push_back(heldByAnother(file));
    ::close(file);
  }
  return fails("renameat") ? -1 : real(fromFolder, from, toFolder, to);
}

extern "C" int unlinkat(int folder, const char* name, int flags) {
  static const auto real = next<int (*)(int, const char*, int)>("unlinkat");
  return fails("unlinkat") ? -1 : real(folder, name, flags);
}

extern "C" ssize_t flistxattr(int fd, char* names, size_t size) {
  static const auto real = next<ssize_t (*)(int, char*, size_t)>("flistxattr");
  return fails("flistxattr") ? -1 : real(fd, names, size);
}

extern "C" ssize_t listxattr(const char* path, char* names, size_t size) {
  static const auto real = next<ssize_t (*)(const char*, char*, size_t)>("listxattr");
  return fails("listxattr") ? -1 : real(path, names, size);
}

extern "C" ssize_t copy_file_range(int in, off64_t* inAt, int out, off64_t* outAt, size_t length, unsigned flags) {
  static const auto real = next<ssize_t (*)(int, off64_t*, int, off64_t*, size_t, unsigned)>("copy_file_range");
  return fails("copy_file_range") ? -1 : real(in, inAt, out, outAt, length, flags);
}

// As a file system with no block left.
extern "C" int fstatvfs(int fd, struct statvfs* into) {
  static const auto real = next<int (*)(int, struct statvfs*)>("fstatvfs");
  const int result = real(fd, into);
  if (fails("full")) into->f_bavail = 0;
  return result;
}

extern "C" int fchmod(int fd, mode_t mode) {
  static const auto real = next<int (*)(int, mode_t)>("fchmod");
  return fails("fchmod") ? -1 : real(fd, mode);
}

extern "C" int fsetxattr(int fd, const char* name, const void* value, size_t size, int flags) {
  static const auto real = next<int (*)(int, const char*, const void*, size_t, int)>("fsetxattr");
  return fails("fsetxattr") ? -1 : real(fd, name, value, size, flags);
}

// As a link that grew between two looks: its text fills all the room.
extern "C" ssize_t readlinkat(int folder, const char* path, char* into, size_t size) {
  static const auto real = next<ssize_t (*)(int, const char*, char*, size_t)>("readlinkat");
  const ssize_t n = real(folder, path, into, size);
  return fails("readlinkat") ? static_cast<ssize_t>(size) : n;
}

extern "C" int openat(int folder, const char* path, int flags, ...) {
  mode_t mode = 0;
  if ((flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE) {
    va_list rest;
    va_start(rest, flags);
    mode = va_arg(rest, mode_t);
    va_end(rest);
  }
  if (((flags & O_TMPFILE) == O_TMPFILE && fails("O_TMPFILE")) || ((flags & O_EXCL) != 0 && fails("O_EXCL"))) return -1;
  static const auto real = next<int (*)(int, const char*, int, ...)>("openat");
  return real(folder, path, flags, mode);
}

extern "C" int linkat(int fromFolder, const char* from, int toFolder, const char* to, int flags) {
  seen::linkNames.emplace_back(to);
  if (seen::noLinks || (seen::noProc && std::strncmp(from, "/proc/", 6) == 0)) {
    errno = ENOENT;
    return -1;
  }
  seen::emptyPathLinks += (flags & AT_EMPTY_PATH) != 0 ? 1 : 0;
  static const auto real = next<int (*)(int, const char*, int, const char*, int)>("linkat");
  return real(fromFolder, from, toFolder, to, flags);
}

extern "C" int close(int fd) {
  static const auto real = next<int (*)(int)>("close");
  const int result = real(fd);
  if (result != 0 && errno == EBADF) ++seen::closedTwice;
  return result;
}

// A folder counts as synced when its fsync succeeded.
extern "C" int fsync(int fd) {
  struct stat st {};
  char path[PATH_MAX + 1] = {};
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  static const auto real = next<int (*)(int)>("fsync");
  const int result = real(fd);
  if (result == 0 && ::fstat(fd, &st) == 0 && S_ISDIR(st.st_mode) && ::readlink(self.c_str(), path, PATH_MAX) > 0) {
    seen::syncedFolders.insert(path);
  }
  if (S_ISREG(st.st_mode)) seen::filesHeldWhenSynced.push_back(heldByAnother(fd));
  return result;
}

namespace hush {
namespace {

namespace fs = std::filesystem;
using test::Bytes;
using test::bytesOf;
using test::readFile;
using test::storePath;

// A name of ours: ".hushmaker-SYSTEM-PID-START-LETTERS.tmp".
const char* const kOurs = R"(\.hushmaker-([0-9a-f]{8})-(\d+)-(\d+)-[a-z0-9]{6}\.tmp)";

// ACLs are written as the raw attributes the system keeps them in:
// version 2, then (tag, permissions, id) entries.
std::string acl(std::vector<std::array<std::uint32_t, 3>> entries) {
  std::string raw{'\x02', '\0', '\0', '\0'};
  for (const auto& [tag, perms, id] : entries) {
    for (const auto& [value, width] : {std::pair{tag, 2}, std::pair{perms, 2}, std::pair{id, 4}}) {
      for (int b = 0; b < width; ++b) raw.push_back(static_cast<char>((value >> (8 * b)) & 0xFF));
    }
  }
  return raw;
}
constexpr std::uint32_t kUserObj = 1, kUser = 2, kGroupObj = 4, kMask = 0x10, kOther = 0x20, kAny = 0xFFFFFFFF;

// As an ordinary user: a folder we may not write fails the save cleanly,
// one we may not read does not; a replaced target keeps its rights and
// never gains any (a group we cannot give it loses its bits, and its ACL
// entry); a target we may write but not read is replaced, and so is one on
// a file system that keeps no attributes.
TEST(UserRights, ReplacingTargets) {
  struct Case { const char* what; mode_t mode; bool othersGroup; mode_t folderMode; bool noAttributes; SaveResult result; mode_t after; };
  const Case cases[] = {
      {"a folder we may not write", 0644, false, 0500, false, kNotSaved, 0644},
      {"a folder we may not read", 0644, false, 0300, false, kSaved, 0644},
      {"a group not ours", 0664, true, 0, false, kSaved, 0604},
      {"a group not ours, in an ACL", 0664, true, 0, false, kSaved, 0664},
      {"a target we may write, not read", 0200, false, 0, false, kSaved, 0200},
      {"no extended attributes", 0640, false, 0, true, kSaved, 0640},
  };
  test::TempFolder folder;
  test::writeFile(folder / "movie.3mm", test::sampleMovie().bytes());
  for (const Case& c : cases) {
    fs::create_directory(folder / c.what);
    test::writeFile(folder / c.what / "out.3mm", bytesOf("old"));
  }
  test::giveToOrdinaryUser(folder.path());
  const bool root = ::geteuid() == 0;  // only root can give a file a group its owner is not in
  if (root) {
    ASSERT_EQ(::chown((folder / "a group not ours" / "out.3mm").c_str(), test::kOrdinaryUser, 0), 0);
    ASSERT_EQ(::chown((folder / "a group not ours, in an ACL" / "out.3mm").c_str(), test::kOrdinaryUser, 0), 0);
  }
  const std::string shared = acl({{kUserObj, 6, kAny}, {kGroupObj, 6, kAny}, {kMask, 6, kAny}, {kOther, 4, kAny}});
  const fs::path withAcl = folder / "a group not ours, in an ACL" / "out.3mm";
  const bool acls = ::setxattr(withAcl.c_str(), "system.posix_acl_access", shared.data(), shared.size(), 0) == 0;
  test::asOrdinaryUser([&] {
    for (const Case& c : cases) {
      if (c.othersGroup && !root) continue;
      const fs::path target = folder / c.what / "out.3mm";
      ::chmod(target.c_str(), c.mode);
      if (c.folderMode != 0) ::chmod((folder / c.what).c_str(), c.folderMode);
      if (c.noAttributes) seen::failing = {{"flistxattr", {ENOTSUP, 99}}, {"listxattr", {ENOTSUP, 99}}};
      ChunkyFile store;
      ASSERT_EQ(store.open(storePath(folder / "movie.3mm")), kOpened);
      EXPECT_EQ(store.save(storePath(target)), c.result) << c.what;
      seen::failing.clear();
      ::chmod((folder / c.what).c_str(), 0700);
      struct stat st {};
      EXPECT_EQ(::stat(target.c_str(), &st) == 0 ? st.st_mode & 07777 : 0, c.after) << c.what;
      EXPECT_EQ(std::distance(fs::directory_iterator(folder / c.what), {}), 1) << c.what;  // no temporary file
    }
  });
  if (!root || !acls) return;
  std::string after(64, '\0');
  after.resize(static_cast<std::size_t>(std::max<ssize_t>(0, ::getxattr(withAcl.c_str(), "system.posix_acl_access", after.data(), after.size()))));
  EXPECT_EQ(after, acl({{kUserObj, 6, kAny}, {kGroupObj, 0, kAny}, {kMask, 6, kAny}, {kOther, 4, kAny}}));
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

// The system decides where links lead: a chain as long as it follows is
// followed to its file (of a one-letter name), and the links stay; a longer
// one, or a loop, is refused for what it is.
TEST_F(SaveTest, ChainsOfLinksAsTheSystemFollowsThem) {
  struct Case { int links; bool loop; SaveResult result; };
  const Case cases[] = {{40, false, kSaved}, {41, false, kNotSaved}, {2, true, kNotSaved}};
  load(test::sampleMovie());
  const auto link = [](int i) { return "link" + std::to_string(i); };
  for (const Case& c : cases) {
    const fs::path chain = folder / (std::to_string(c.links) + (c.loop ? "loop" : ""));
    fs::create_directory(chain);
    test::writeFile(chain / "f", bytesOf("old"));
    for (int i = 1; i <= c.links; ++i) {
      fs::create_symlink(i > 1 ? link(i - 1) : c.loop ? link(c.links) : "f", chain / link(i));
    }
    EXPECT_EQ(store.save(storePath(chain / link(c.links))), c.result) << c.links;
    EXPECT_EQ(store.lastFailure().file, c.result == kSaved ? FileError::None : FileError::LinkLoop) << c.links;
    EXPECT_EQ(readFile(chain / "f") != bytesOf("old"), c.result == kSaved) << c.links;
    for (int i = 1; i <= c.links; ++i) EXPECT_TRUE(fs::is_symlink(chain / link(i))) << c.links;
  }
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

// The unnamed file becomes the target by a link when the target is new
// (no other name ever exists), by a link and a rename when it replaces one;
// where the system lets either down the target is old or new, and nothing
// else is left.
TEST_F(SaveTest, CommitWhenTheSystemLetsItDown) {
  enum Links { Work, NoProc, None };
  struct Case {
    const char* what;
    bool existing;
    int failRenames;
    Links links;
    SaveResult result;
    std::vector<std::string> linkNames;  // "*" for a temporary name, as ours are named
  };
  const Case cases[] = {
      {"a new target", false, 0, Work, kSaved, {"out.3mm"}},
      {"an existing target", true, 0, Work, kSaved, {"*"}},
      {"the rename fails", true, 1, Work, kNotSaved, {"*"}},
      {"no /proc (root links without)", false, 0, NoProc, kSaved, {"out.3mm", "out.3mm"}},
      {"no link at all, a new target", false, 0, None, kSaved, {"out.3mm", "out.3mm"}},
      {"no link at all, an existing target", true, 0, None, kSaved, {"*", "*"}},
      {"no link at all, and the rename fails", true, 1, None, kNotSaved, {"*", "*"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    if (c.links == NoProc && ::geteuid() != 0) continue;
    fs::remove(folder / "out.3mm");
    if (c.existing) test::writeFile(folder / "out.3mm", bytesOf("old"));
    load(test::sampleMovie());
    seen::failing = {{"renameat", {EIO, c.failRenames}}};
    seen::noProc = c.links == NoProc;
    seen::noLinks = c.links == None;
    seen::linkNames.clear();
    seen::emptyPathLinks = 0;
    EXPECT_EQ(store.save(storePath(folder / "out.3mm")), c.result);
    seen::failing.clear();
    seen::noProc = seen::noLinks = false;
    EXPECT_EQ(folder.list().size(), c.existing || c.result == kSaved ? 2u : 1u);  // no temporary file
    if (c.result == kNotSaved) {
      EXPECT_EQ(readFile(folder / "out.3mm"), bytesOf("old"));
      EXPECT_EQ(store.lastFailure().file, FileError::DiskError);  // the rename's reason
    }
    EXPECT_EQ(seen::emptyPathLinks > 0, c.links == NoProc);
    for (auto& name : seen::linkNames) name = std::regex_match(name, std::regex(kOurs)) ? "*" : name;
    EXPECT_EQ(seen::linkNames, c.linkNames);
    ASSERT_TRUE(store.close());
  }
}

// A call the system fails fails the save it serves, for the call's reason;
// a fresh name somebody took first is only tried again, and a mode that
// cannot be set (as on FAT) fails nothing when the new file has it already.
// A mode of 0 saves to a new name.
TEST_F(SaveTest, CallsTheSystemFails) {
  struct Case { std::map<std::string, std::pair<int, int>> failing; mode_t mode; SaveResult result; FileError error; };
  const Case cases[] = {
      {{{"copy_file_range", {EIO, 1}}}, 0640, kNotSaved, FileError::DiskError},
      {{{"copy_file_range", {EDQUOT, 1}}}, 0640, kNotSaved, FileError::QuotaFull},
      {{{"copy_file_range", {EPERM, 1}}, {"full", {0, 1}}}, 0640, kNotSaved, FileError::DiskFull},  // FAT through FUSE
      {{{"copy_file_range", {EPERM, 1}}}, 0640, kNotSaved, FileError::AccessDenied},
      {{{"renameat", {ENOENT, 1}}}, 0640, kNotSaved, FileError::NameNotAllowed},  // a character exFAT reserves
      {{{"O_TMPFILE", {EOPNOTSUPP, 1}}, {"renameat", {EPERM, 1}}}, 0, kNotSaved, FileError::NameNotAllowed},  // on FAT
      {{{"renameat", {EPERM, 1}}}, 0640, kNotSaved, FileError::AccessDenied},
      {{{"renameat", {EIO, 1}}, {"unlinkat", {EIO, 1}}}, 0640, kNotSaved, FileError::DiskError},  // a copy left
      {{{"O_TMPFILE", {EOPNOTSUPP, 1}}, {"copy_file_range", {EIO, 1}}, {"unlinkat", {EIO, 1}}}, 0640, kNotSaved,
       FileError::DiskError},  // a part left, never named as the copy
      {{{"O_TMPFILE", {EOPNOTSUPP, 1}}, {"O_EXCL", {ENOENT, 1}}}, 0640, kNotSaved, FileError::NameNotAllowed},
      {{{"fchmod", {EPERM, 1}}}, 0640, kNotSaved, FileError::RightsNotKept},
      {{{"fchmod", {EPERM, 1}}}, 0600, kSaved, FileError::None},
      {{{"fsetxattr", {EPERM, 1}}}, 0640, kNotSaved, FileError::RightsNotKept},  // an attribute the new file lacks
      {{{"O_TMPFILE", {EOPNOTSUPP, 1}}, {"O_EXCL", {EEXIST, 1}}}, 0640, kSaved, FileError::None},
  };
  std::string kept;  // a copy left behind, under a name no later save takes for a temporary one
  for (const Case& c : cases) {
    test::writeFile(folder / "out.3mm", bytesOf("old"));
    ::chmod((folder / "out.3mm").c_str(), c.mode);
    ASSERT_EQ(::setxattr((folder / "out.3mm").c_str(), "user.origin", "camera", 6, 0), 0);
    load(test::largeSampleMovie());  // payloads large enough to be copied, not gathered
    seen::failing = c.failing;
    EXPECT_EQ(store.save(storePath(folder / (c.mode == 0 ? "new.3mm" : "out.3mm"))), c.result) << c.failing.begin()->first;
    seen::failing.clear();
    EXPECT_EQ(store.lastFailure().file, c.error) << c.failing.begin()->first;
    const std::string left = copyLeftBehind();
    EXPECT_EQ(!left.empty(), c.failing.contains("renameat") && c.failing.contains("unlinkat"));
    EXPECT_TRUE(left.empty() || fs::file_size(folder / left) > 1000);  // the whole copy
    if (!left.empty()) kept = left;
    for (const auto& name : folder.list()) {
      if (name.starts_with(".hushmaker-")) fs::remove(folder / name);
    }
    ASSERT_TRUE(store.close());
  }
  EXPECT_TRUE(std::regex_match(kept, std::regex(R"(hushmaker-copy-[a-z0-9]{6}\.3mm)")) && fs::exists(folder / kept)) << kept;
}

// A replaced target keeps its access ACL and its other extended
// attributes, and loses none of its rights to the mode; a new one takes the
// folder's default ACL as any new file would.
TEST_F(SaveTest, RightsAndAttributesCarryOver) {
  const std::string access = acl({{kUserObj, 6, kAny}, {kUser, 6, 1234}, {kGroupObj, 4, kAny}, {kMask, 6, kAny},
                                  {kOther, 0, kAny}});
  const auto get = [](const fs::path& file, const char* name) {
    std::string value(256, '\0');
    const ssize_t n = ::getxattr(file.c_str(), name, value.data(), value.size());
    return n < 0 ? std::string("-") : value.substr(0, static_cast<std::size_t>(n));
  };
  const fs::path out = folder / "out.3mm";
  test::writeFile(out, bytesOf("old"));
  ::chmod(out.c_str(), 0640);
  if (::setxattr(out.c_str(), "system.posix_acl_access", access.data(), access.size(), 0) != 0 ||
      ::setxattr(out.c_str(), "user.origin", "camera", 6, 0) != 0) {
    GTEST_SKIP() << "no ACLs or user attributes on this file system";
  }
  const fs::perms mode = fs::status(out).permissions();
  load(test::sampleMovie());
  ASSERT_EQ(store.save(storePath(out)), kSaved);
  ASSERT_TRUE(store.close());
  EXPECT_EQ(fs::status(out).permissions(), mode);
  EXPECT_EQ(get(out, "system.posix_acl_access"), access);
  EXPECT_EQ(get(out, "user.origin"), "camera");

  // A folder with a default ACL: a new target has it, a replaced target
  // that had no ACL does not take it.
  fs::create_directory(folder / "shared");
  const std::string inherited = acl({{kUserObj, 7, kAny}, {kUser, 7, 1234}, {kGroupObj, 5, kAny}, {kMask, 7, kAny},
                                     {kOther, 5, kAny}});
  ASSERT_EQ(::setxattr((folder / "shared").c_str(), "system.posix_acl_default", inherited.data(), inherited.size(), 0), 0);
  test::writeFile(folder / "shared" / "plain.3mm", bytesOf("old"));
  ::removexattr((folder / "shared" / "plain.3mm").c_str(), "system.posix_acl_access");
  ::chmod((folder / "shared" / "plain.3mm").c_str(), 0600);
  for (const char* name : {"new.3mm", "plain.3mm"}) {
    load(test::sampleMovie(), std::string("in-") + name);
    ASSERT_EQ(store.save(storePath(folder / "shared" / name)), kSaved) << name;
    ASSERT_TRUE(store.close());
  }
  const fs::path made = folder / "shared" / "made.3mm";
  ::close(::open(made.c_str(), O_CREAT | O_WRONLY, 0666));  // as any program makes a file
  EXPECT_EQ(get(folder / "shared" / "new.3mm", "system.posix_acl_access"), get(made, "system.posix_acl_access"));
  EXPECT_EQ(fs::status(folder / "shared" / "new.3mm").permissions(), fs::status(made).permissions());
  EXPECT_EQ(get(folder / "shared" / "plain.3mm", "system.posix_acl_access"), "-");
  EXPECT_EQ(fs::status(folder / "shared" / "plain.3mm").permissions(), fs::perms(0600));
}

// In a folder that only lets names be added, a new target taken in one
// link is saved; a save that would have to rename or remove a name there
// is refused before a byte is written, and leaves nothing.
TEST_F(SaveTest, AFolderThatOnlyAddsNames) {
  struct Case { bool existing; int noUnnamedFiles; SaveResult result; };
  const Case cases[] = {{false, 0, kSaved}, {true, 0, kNotSaved}, {false, 1, kNotSaved}};
  const auto setFlags = [&](int flags) {
    const int fd = ::open(folder.path().c_str(), O_RDONLY | O_DIRECTORY);
    const bool set = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    ::close(fd);
    return set;
  };
  for (const Case& c : cases) {
    fs::remove(folder / "out.3mm");
    if (c.existing) test::writeFile(folder / "out.3mm", bytesOf("old"));
    load(test::sampleMovie());
    const auto before = folder.list();
    if (!setFlags(FS_APPEND_FL)) GTEST_SKIP() << "no append-only folders here, or not root";
    seen::failing = {{"O_TMPFILE", {EOPNOTSUPP, c.noUnnamedFiles}}};
    const SaveResult result = store.save(storePath(folder / "out.3mm"));
    seen::failing.clear();
    ASSERT_TRUE(setFlags(0));
    EXPECT_EQ(result, c.result) << c.existing << c.noUnnamedFiles;
    EXPECT_EQ(store.lastFailure().file, result == kSaved ? FileError::None : FileError::AddOnlyFolder);
    EXPECT_EQ(folder.list() == before, result == kNotSaved);
    ASSERT_TRUE(store.close());
  }
}

// A save removes what killed runs left in its folder: files with a name of
// ours, holding a movie or nothing yet, whose run has ended (a process of
// this system that is gone, or is another now; elsewhere, untouched for a
// day), that no run holds; nothing else. Its own file is held as long as it
// has a name, named from the start or not.
TEST_F(SaveTest, RemovesWhatKilledRunsLeft) {
  test::writeFile(folder / "out.3mm", bytesOf("old"));
  load(test::sampleMovie());
  seen::linkNames.clear();
  ASSERT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
  ASSERT_TRUE(store.close());
  std::smatch mark;  // of this run
  ASSERT_TRUE(std::regex_match(seen::linkNames.at(0), mark, std::regex(kOurs)));
  EXPECT_EQ(mark.str(2), std::to_string(::getpid()));
  const pid_t gone = ::fork();
  if (gone == 0) ::_exit(0);
  ::waitpid(gone, nullptr, 0);
  const std::string system = mark.str(1), elsewhere = system == "00000001" ? "00000002" : "00000001";
  const std::string ended = ".hushmaker-" + system + "-" + std::to_string(gone) + "-1-";
  const std::string live = ".hushmaker-" + system + "-" + mark.str(2) + "-" + mark.str(3);
  struct Case { std::string name; const char* bytes; std::time_t age; bool held, removed; mode_t type = S_IFREG; };
  constexpr std::time_t old = 172800, aDayAlmost = 86340, aDayAndMore = 86460;
  const Case cases[] = {
      {ended + "abc123.tmp", "CHN2", 0, false, true},   {ended + "abc124.tmp", "", 0, false, true},
      {ended + "abc125.tmp", "CHN2", 0, true, false},   {ended + "abc126.tmp", "CHN1", old, false, false},
      {live + "-abc127.tmp", "CHN2", old, false, false},   {live + "0-abc128.tmp", "CHN2", 0, false, true},
      {".hushmaker-" + elsewhere + "-1-1-abc129.tmp", "CHN2", aDayAlmost, false, false},
      {".hushmaker-" + elsewhere + "-1-1-abc130.tmp", "CHN2", aDayAndMore, false, true},
      {".hushmaker-backup.tmp", "CHN2", old, false, false}, {".hushmaker-backup1.tmp", "CHN2", old, false, false},
      {ended + "abC131.tmp", "CHN2", old, false, false},   {ended + "abc13.tmp", "CHN2", old, false, false},
      {ended.substr(1) + "abc133.tmp", "CHN2", old, false, false}, {ended + "abc134.tmpx", "CHN2", old, false, false},
      {ended + "abc135.tmp", "", old, false, false, S_IFIFO},
  };
  std::vector<int> holders;
  for (const Case& c : cases) {
    if (c.type == S_IFREG) test::writeFile(folder / c.name, bytesOf(c.bytes));
    ASSERT_EQ(c.type == S_IFIFO ? ::mkfifo((folder / c.name).c_str(), 0600) : 0, 0);
    const timespec then[2] = {{::time(nullptr) - c.age, 0}, {::time(nullptr) - c.age, 0}};
    ::utimensat(AT_FDCWD, (folder / c.name).c_str(), then, 0);
    struct flock lock {};
    lock.l_type = F_WRLCK;
    if (!c.held) continue;
    holders.push_back(::open((folder / c.name).c_str(), O_RDWR));
    ASSERT_EQ(::fcntl(holders.back(), F_OFD_SETLK, &lock), 0);
  }
  for (const int namedFromTheStart : {0, 1}) {
    load(test::largeSampleMovie());
    seen::failing = {{"O_TMPFILE", {EOPNOTSUPP, namedFromTheStart}}};
    seen::filesHeldWhenSynced.clear();
    seen::heldWhenRenamed.clear();
    seen::closedTwice = 0;
    EXPECT_EQ(store.save(storePath(folder / "out.3mm")), kSaved);
    seen::failing.clear();
    EXPECT_EQ(seen::filesHeldWhenSynced, std::vector<bool>{true}) << namedFromTheStart;
    EXPECT_EQ(seen::heldWhenRenamed, std::vector<bool>{true}) << namedFromTheStart;
    EXPECT_EQ(seen::closedTwice, 0);
    ASSERT_TRUE(store.close());
  }
  for (const Case& c : cases) EXPECT_EQ(fs::exists(folder / c.name), !c.removed) << c.name;
  for (const int fd : holders) ::close(fd);
}

// Any path the file system takes works, however long: here a target in a
// folder of exactly 4,096 bytes, one more than a single system call takes.
TEST_F(SaveTest, TargetPathLongerThanTheSystemsLimit) {
  std::vector<std::string> names;
  std::string path = folder.path().string();
  std::vector<int> folders{::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC)};
  for (std::size_t left = PATH_MAX - 2 - path.size(); path.size() + 1 < PATH_MAX; left = PATH_MAX - 2 - path.size()) {
    names.emplace_back(left > 250 ? 200 : left, 'd');
    ASSERT_EQ(::mkdirat(folders.back(), names.back().c_str(), 0755), 0);
    folders.push_back(::openat(folders.back(), names.back().c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    path += "/" + names.back();
  }
  // Every folder walked through and every file opened is closed again.
  const auto descriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), {}); };
  const auto before = descriptors();
  load(test::sampleMovie());
  EXPECT_EQ(store.save(widenPath((path + "/out.3mm").c_str())), kSaved);
  {
    ChunkyFile reloaded;
    EXPECT_EQ(reloaded.open(widenPath((path + "/out.3mm").c_str())), kOpened);
    EXPECT_EQ(reloaded.chunkCount(), store.chunkCount());
  }
  store.close();
  EXPECT_EQ(descriptors(), before);
  // The folder cannot be removed by its path either.
  EXPECT_EQ(::unlinkat(folders.back(), "out.3mm", 0), 0);
  for (std::size_t i = folders.size() - 1; i > 0; --i) {
    ::close(folders[i]);
    EXPECT_EQ(::unlinkat(folders[i - 1], names[i - 1].c_str(), AT_REMOVEDIR), 0);
  }
  ::close(folders[0]);
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
  seen::failing = {{"readlinkat", {0, 1}}};  // a link that grew as it was read is not followed halfway
  EXPECT_EQ(nativeFileSystem().resolveLinks(storePath(folder / "link.3mm")), std::nullopt);
}

// A unit that no byte stands for, or a NUL, names no file at all.
TEST(PosixFiles, UnitsNoByteStandsForNameNoFile) {
  for (const Path& path : {Path(u"a\u0100"), Path(u"a\0b", 3)}) {
    EXPECT_EQ(nativeFileSystem().openForReading(path), nullptr);
    EXPECT_EQ(lastFileError(), FileError::BadName);
  }
}

}  // namespace
}  // namespace hush
