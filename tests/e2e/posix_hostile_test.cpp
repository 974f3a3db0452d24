// Odd targets, pipes, foreign files and tight memory: the tool refuses what
// it must not touch, never waits on a pipe and never runs out of control.
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <filesystem>

#include "e2e/e2e_support.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

// Runs the tool (`program`, by default the one built) through the shell:
// `setup` first ("ulimit -v N;"), then the tool under `wrapper` ("setpriv
// ..."), its standard error kept in err.txt.
ProgramResult hushmakerAfter(const TempFolder& folder, const std::string& setup, const std::string& wrapper,
                             const std::vector<std::string>& args, const std::string& program = HUSHMAKER_EXE) {
  std::vector<std::string> shell{"-c", setup + " exec " + wrapper + " \"$0\" \"$@\" 2>err.txt", program};
  shell.insert(shell.end(), args.begin(), args.end());
  return runProgram("/bin/sh", shell, folder.path());
}

std::string lastLine(const ProgramResult& result) {
  const auto lines = linesOf(result.output);
  return lines.empty() ? std::string() : lines.back();
}

// A small tmpfs of our own below `at`, removed again with the guard.
struct Mount {
  explicit Mount(const fs::path& at) : at(at) {
    fs::create_directory(at);
    mounted = ::mount("tmpfs", at.c_str(), "tmpfs", 0, "size=8m") == 0;
  }
  ~Mount() {
    if (mounted) ::umount(at.c_str());
  }
  fs::path at;
  bool mounted;
};

TEST_F(RunTest, TargetsThatAreNoRegularFileAreNeverReplaced) {
  ASSERT_EQ(::mkfifo((folder / "out.fifo").c_str(), 0644), 0);
  fs::create_symlink("missing.3mm", folder / "dangling.3mm");  // left alone, as cp leaves it
  std::vector<fs::path> targets{folder / "out.fifo", folder / "dangling.3mm"};
  // Device nodes (the null and full devices) on a private tmpfs, reached
  // directly and through a symbolic link: where we may make them.
  const Mount devices(folder / "dev");
  if (devices.mounted && ::mknod((devices.at / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) == 0 &&
      ::mknod((devices.at / "full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)) == 0) {
    fs::create_symlink(devices.at / "null", folder / "null-link");
    targets.insert(targets.end(), {devices.at / "null", devices.at / "full", folder / "null-link"});
  }
  for (const auto& target : targets) {
    const auto type = fs::status(target).type();
    const auto result = hushmaker(folder, {"movie.3mm", target.string()});
    EXPECT_EQ(result.status, 3) << target;
    EXPECT_EQ(lastLine(result), target.filename() == "dangling.3mm" ? "Error: The target is a link to a file that isn't there"
                                                                    : "Error: The target is a device or a pipe")
        << target;
    EXPECT_EQ(fs::status(target).type(), type) << target;  // still what it was
  }
  EXPECT_TRUE(fs::is_symlink(folder / "dangling.3mm"));
  EXPECT_TRUE(fs::is_symlink(folder / "null-link") || targets.size() == 2);
}

TEST_F(RunTest, PipeAsInputIsRefusedAtOnce) {
  // Nobody writes to the pipe: opening it the ordinary way would wait for
  // ever; `timeout` turns a hang into status 124.
  ASSERT_EQ(::mkfifo((folder / "pipe.3mm").c_str(), 0644), 0);
  const auto result = runProgram("/usr/bin/timeout", {"10", HUSHMAKER_EXE, "pipe.3mm"}, folder.path());
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(lastLine(result), "Error: That is a device or a pipe, not a movie");
}

TEST_F(RunTest, WriteProtectedTargetsAreRefused) {
  // As an ordinary user (root runs the tool as nobody) in a folder of the
  // user's own: a 0444 target, a 0444 movie saved in place, and a file of
  // another user (only root can set that up) are all left as they were.
  std::string asUser;
  // A copy of the tool inside the folder: the build tree may be closed to
  // other users.
  fs::copy_file(HUSHMAKER_EXE, folder / "hushmaker");
  if (::geteuid() == 0) {
    asUser = "setpriv --reuid=65534 --regid=65534 --clear-groups";
    ASSERT_EQ(::chown(folder.path().c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((folder / "movie.3mm").c_str(), 65534, 65534), 0);
  }
  writeFile(folder / "locked.3mm", bytesOf("a protected movie"));
  fs::permissions(folder / "locked.3mm", fs::perms(0444));
  fs::copy_file(folder / "movie.3mm", folder / "own.3mm");
  fs::permissions(folder / "own.3mm", fs::perms(0444));
  std::vector<std::pair<std::string, std::string>> cases{{"movie.3mm", "locked.3mm"}, {"own.3mm", "own.3mm"}};
  if (::geteuid() == 0) {
    // The user's own write-protected files.
    ASSERT_EQ(::chown((folder / "locked.3mm").c_str(), 65534, 65534), 0);
    ASSERT_EQ(::chown((folder / "own.3mm").c_str(), 65534, 65534), 0);
    writeFile(folder / "foreign.3mm", bytesOf("another user's movie"));
    fs::permissions(folder / "foreign.3mm", fs::perms(0644));  // root's, writable by root alone
    cases.emplace_back("movie.3mm", "foreign.3mm");
  }
  for (const auto& [input, target] : cases) {
    const Bytes before = readFile(folder / target);
    const auto result = hushmakerAfter(folder, "", asUser, {input, target}, (folder / "hushmaker").string());
    EXPECT_EQ(result.status, 3) << target;
    EXPECT_EQ(lastLine(result), target == "foreign.3mm" ? "Error: The target is another user's file"
                                                        : "Error: The target is write-protected")
        << target;
    EXPECT_EQ(readFile(folder / target), before) << target;
    EXPECT_EQ(fs::status(folder / target).permissions(), fs::perms(target == "foreign.3mm" ? 0644 : 0444)) << target;
  }
  const auto leftovers = folder.list();
  EXPECT_EQ(std::count_if(leftovers.begin(), leftovers.end(), [](const std::string& n) { return n[0] == '.'; }), 0);
}

TEST_F(RunTest, SavesOntoAnotherMount) {
  // The new file is made in the target's own folder, so the final move
  // never crosses from one file system to another.
  const Mount disk(folder / "disk");
  if (!disk.mounted) GTEST_SKIP() << "cannot mount a tmpfs here";
  const auto result = hushmaker(folder, {"movie.3mm", "disk/out.3mm"});
  EXPECT_EQ(result.status, 7);
  EXPECT_EQ(std::distance(fs::directory_iterator(disk.at), fs::directory_iterator()), 1);
}

// A crafted document: `copies` GGFR descriptors that all point at one small
// group whose 1,447 entries share the same 11,585 bytes, so that every
// rewritten copy would be nearly 16 MiB.
Bytes sharedGroupMovie(std::uint32_t copies) {
  RawGroup group;
  group.fixedSize = 8;
  group.data = Bytes(11585, 0x22);
  group.spans.assign(1447, {0, 11585});
  DocumentBuilder doc;
  doc.add("GGFR", 1, group.build());
  for (std::uint32_t n = 2; n <= copies; ++n) doc.add("GGFR", n);
  BuiltDocument built = doc.build();
  const auto length = static_cast<std::uint32_t>(doc.chunks[0].payload.size());
  for (std::uint32_t i = 1; i < copies; ++i) {
    const std::uint32_t at = built.descriptorAt[i];
    put32(built.bytes, at + 8, built.payloadAt[0]);
    put32(built.bytes, at + 12, (length << 8) | (get32(built.bytes, at + 12) & 0xFF));
  }
  return built.bytes;
}

struct MemoryCase {
  const char* what;
  Bytes (*document)();
  int limitKiB;
  int status;
  std::string lastLine;
  friend void PrintTo(const MemoryCase& c, std::ostream* out) { *out << c.what; }
};

class MemoryLimit : public RunTest, public ::testing::WithParamInterface<MemoryCase> {};

TEST_P(MemoryLimit, RunEndsWithItsOwnLineAndWritesNothing) {
  if (kSanitized) GTEST_SKIP() << "the sanitizers reserve more address space than any limit allows";
  const MemoryCase& c = GetParam();
  writeFile(folder / "big.3mm", c.document());
  const auto result = hushmakerAfter(folder, "ulimit -v " + std::to_string(c.limitKiB) + ";", "", {"big.3mm"});
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(lastLine(result), c.lastLine);
  EXPECT_EQ(readFile(folder / "err.txt"), Bytes{});  // nothing on standard error
  EXPECT_EQ(folder.list(), (Files{"big.3mm", "err.txt", "movie.3mm"}));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, MemoryLimit,
    ::testing::Values(
        // Within 256 MiB, where a pass that rewrote each descriptor's group
        // climbed to 4.9 GB.
        MemoryCase{"shared entry bytes", [] { return sharedGroupMovie(300); }, 256 * 1024, 2,
                   "Error: Two event groups share bytes of the file"},
        MemoryCase{"a group too large for the memory",
                   [] {
                     DocumentBuilder doc;
                     doc.add("GGFR", 1, GroupBuilder(8).entry(Bytes(0xFFFFFF - 28, 0)).build());
                     return doc.bytes();
                   },
                   30 * 1024, 2, "Error: Not enough memory for the group"},
        MemoryCase{"an index too large for the memory",
                   [] {
                     DocumentBuilder doc;
                     for (std::uint32_t n = 0; n < 200000; ++n) doc.add("ACTR", n);
                     return doc.bytes();
                   },
                   20 * 1024, 1, "Error: Not enough memory"}),
    [](const auto& info) {
      std::string name = info.param.what;
      std::erase(name, ' ');
      return name;
    });

}  // namespace
}  // namespace hush::test
