// Runs that only POSIX systems can show: byte names, a real terminal.
#include <sys/mount.h>

#include <filesystem>

#include "e2e/e2e_support.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

TEST_F(RunTest, NamesAreBytesPrintedAsGiven) {
  // A Latin-1 name and a UTF-8 name both reach the file and the messages
  // byte for byte, and the default output name keeps those bytes.
  for (const std::string& name : {std::string("film\xE9.3mm"), std::string("\xD1\x84\xD0\xB8\xD0\xBB\xD1\x8C\xD0\xBC.3mm")}) {
    writeFile(folder / name, sampleMovie().bytes());
    const auto result = hushmaker(folder, {name});
    EXPECT_EQ(result.status, 7);
    const std::string output = name.substr(0, name.size() - 4) + "-quiet.3mm";
    EXPECT_NE(result.output.find("Loading " + name + "...\n"), std::string::npos);
    EXPECT_NE(result.output.find("Saving to " + output + "...\n"), std::string::npos);
    EXPECT_TRUE(fs::exists(folder / output));
  }
}

// A terminal waits only when asked (--pause): a script in a terminal looks
// just like a person there, so nothing waits by itself, a loop over movies
// included.
TEST_F(RunTest, PausesOnlyWhenAsked) {
  DocumentBuilder doc;
  doc.add("GGFR", 17, bytesOf("not a group at all"));
  writeFile(folder / "packed.3mm", doc.bytes());
  struct Case { std::vector<std::string> args; int status; bool waits; };
  const Case cases[] = {
      {{}, 0, false},        {{"missing.3mm"}, 1, false},           {{"packed.3mm"}, 2, false},
      {{"--pause"}, 0, true}, {{"--pause", "missing.3mm"}, 1, true}, {{"--pause", "packed.3mm"}, 2, true},
      {{"--pause", "movie.3mm"}, 7, false},
  };
  for (const Case& c : cases) {
    const auto result = runOnTerminal(HUSHMAKER_EXE, c.args, folder.path(), "\n");
    EXPECT_EQ(result.output.find("Press Enter to continue . . .") != std::string::npos, c.waits) << c.args.size();
    EXPECT_EQ(result.status, c.status);
  }
  // The end of input (Ctrl-D) ends the wait too.
  EXPECT_EQ(runOnTerminal(HUSHMAKER_EXE, {"--pause", "missing.3mm"}, folder.path(), "\x04").status, 1);
  // Piped (| tee log), the lines and the prompt are out before the wait.
  const auto log = folder / "log";
  const std::string piped = "{ sleep 2; } | " HUSHMAKER_EXE " --pause missing.3mm | timeout 1 cat >" + log.string();
  EXPECT_EQ(std::system(piped.c_str()) >> 8, 124);  // cat stopped, the tool still waiting
  EXPECT_EQ(readFile(log), bytesOf(kBanner + "Loading missing.3mm...\nCouldn't load!\n"
                                             "Error: There is no file by that name\nPress Enter to continue . . ."));
  // Text shown that cannot be written fails, as with any tool.
  for (const std::string option : {"", "--help", "--version"}) {
    const int status = std::system((std::string(HUSHMAKER_EXE) + " " + option + " >/dev/full").c_str());
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1) << option;
  }
}

TEST_F(RunTest, FullDiskKeepsTheOutputAndTheInput) {
  // A real full disk: a small tmpfs, which needs the right to mount.
  const fs::path disk = folder / "disk";
  fs::create_directory(disk);
  if (::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=400k") != 0) GTEST_SKIP() << "cannot mount a tmpfs here";
  struct Unmount {
    fs::path at;
    ~Unmount() { ::umount(at.c_str()); }
  } unmount{disk};

  // Saving to another file on the full disk.
  const Bytes movie = largeSampleMovie().bytes();
  writeFile(folder / "movie.3mm", movie);
  writeFile(disk / "filler", Bytes(200 * 1024, 1));
  writeFile(disk / "out.3mm", bytesOf("an older silent movie"));
  auto result = hushmaker(folder, {"movie.3mm", "disk/out.3mm"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(linesOf(result.output).back(), "Error: The disk is full");
  EXPECT_EQ(readFile(disk / "out.3mm"), bytesOf("an older silent movie"));
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 2);  // no temporary file

  // Saving over the movie itself on a disk without room for a second copy.
  fs::remove(disk / "filler");
  fs::remove(disk / "out.3mm");
  writeFile(disk / "movie.3mm", movie);
  result = hushmaker(folder, {"disk/movie.3mm", "disk/movie.3mm"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(readFile(disk / "movie.3mm"), movie);
  EXPECT_EQ(std::distance(fs::directory_iterator(disk), fs::directory_iterator()), 1);
}

TEST_F(RunTest, FileSizeLimitFailsTheSave) {
  // `ulimit -f` below the output's size: the write fails (the tool ignores
  // SIGXFSZ, which would otherwise kill it) and nothing is left behind.
  writeFile(folder / "movie.3mm", largeSampleMovie().bytes());
  const auto result = runProgram("/bin/sh", {"-c", "ulimit -f 64 && exec \"$0\" \"$@\"", HUSHMAKER_EXE, "movie.3mm"},
                                 folder.path());
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(linesOf(result.output).back(), "Error: The file would be larger than this system lets us write");
  EXPECT_EQ(folder.list(), Files{"movie.3mm"});
}

}  // namespace
}  // namespace hush::test
