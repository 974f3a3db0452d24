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

TEST_F(RunTest, PausesOnlyOnATerminal) {
  // From a script: no prompt and no wait (every test above runs so).
  EXPECT_EQ(hushmaker(folder, {"missing.3mm"}).output.find("Press"), std::string::npos);

  // On a terminal, the usage text, a failed load and a refused group wait
  // for Enter.
  DocumentBuilder doc;
  doc.add("GGFR", 17, bytesOf("not a group at all"));
  writeFile(folder / "packed.3mm", doc.bytes());
  const std::pair<std::vector<std::string>, int> waits[] = {{{}, 0}, {{"missing.3mm"}, 1}, {{"packed.3mm"}, 2}};
  for (const auto& [args, status] : waits) {
    const auto result = runOnTerminal(HUSHMAKER_EXE, args, folder.path(), "\n");
    EXPECT_NE(result.output.find("Press Enter to continue . . ."), std::string::npos);
    EXPECT_EQ(result.status, status);
  }
  // The end of input (Ctrl-D) ends the wait too.
  EXPECT_EQ(runOnTerminal(HUSHMAKER_EXE, {"missing.3mm"}, folder.path(), "\x04").status, 1);
  // A successful run does not, nor a failed one whose output goes to a
  // file, or that runs as a job in the background (where reading the
  // terminal would stop it).
  auto result = runOnTerminal(HUSHMAKER_EXE, {"movie.3mm"}, folder.path(), "\n");
  EXPECT_EQ(result.status, 7);
  EXPECT_EQ(result.output.find("Press"), std::string::npos);
  for (const OnTerminal how : {OnTerminal::OutputToAFile, OnTerminal::Background}) {
    result = runOnTerminal(HUSHMAKER_EXE, {"missing.3mm"}, folder.path(), "\n", how);
    const Bytes file = how == OnTerminal::OutputToAFile ? readFile(folder / "out.txt") : Bytes{};
    const std::string shown = result.output + std::string(file.begin(), file.end());
    EXPECT_EQ(result.status, 1) << static_cast<int>(how);
    EXPECT_NE(shown.find("Couldn't load!"), std::string::npos) << static_cast<int>(how);
    EXPECT_EQ(shown.find("Press"), std::string::npos) << static_cast<int>(how);
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
