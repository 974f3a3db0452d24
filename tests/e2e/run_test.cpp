// The run as a user sees it: arguments, messages, exit status, files.
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/sample_document.h"

namespace hush::testing {
namespace {

namespace fs = std::filesystem;

using Files = std::vector<std::string>;

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(folder / "movie.3mm", sampleMovie().bytes()); }
  TempFolder folder;
};

TEST_F(RunTest, NoArgumentsPrintsUsage) {
  const auto result = hushmaker(folder, {});
  EXPECT_EQ(result.status, 0);
  expectOutput(result, {"Usage: Drag a file onto Hushmaker.exe!", "Or type: Hushmaker.exe <in.3mm> [out.3mm]",
                        "at a command prompt."});
  EXPECT_EQ(folder.list(), Files{"movie.3mm"});
}

TEST_F(RunTest, OneArgumentWritesBesideTheInput) {
  const Bytes input = readFile(folder / "movie.3mm");
  const auto result = hushmaker(folder, {"movie.3mm"});
  EXPECT_EQ(result.status, 7);
  expectOutput(result, {"Loading movie.3mm...", "Loaded. 15 quads, silentifying...", "Saving to movie-quiet.3mm...",
                        "Saved!"});
  EXPECT_EQ(folder.list(), (Files{"movie-quiet.3mm", "movie.3mm"}));
  EXPECT_EQ(readFile(folder / "movie.3mm"), input);
}

TEST_F(RunTest, ArgumentCountsChooseTheOutput) {
  auto result = hushmaker(folder, {"movie.3mm", "out.3mm"});
  EXPECT_EQ(result.status, 7);
  EXPECT_NE(result.output.find("Saving to out.3mm...\n"), std::string::npos);
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "out.3mm"}));

  result = hushmaker(folder, {"movie.3mm", "ignored.3mm", "also-ignored.3mm"});
  EXPECT_EQ(result.status, 7);
  EXPECT_NE(result.output.find("Saving to movie-quiet.3mm...\n"), std::string::npos);
  EXPECT_EQ(folder.list(), (Files{"movie-quiet.3mm", "movie.3mm", "out.3mm"}));
  EXPECT_EQ(readFile(folder / "out.3mm"), readFile(folder / "movie-quiet.3mm"));
}

TEST_F(RunTest, OutputOverTheInputRewritesItInPlace) {
  for (const char* spelling : {"movie.3mm", "./movie.3mm"}) {
    writeFile(folder / "movie.3mm", sampleMovie().bytes());
    hushmaker(folder, {"movie.3mm", "expected.3mm"});
    const auto result = hushmaker(folder, {"movie.3mm", spelling});
    EXPECT_EQ(result.status, 7) << spelling;
    EXPECT_EQ(readFile(folder / "movie.3mm"), readFile(folder / "expected.3mm")) << spelling;
    EXPECT_EQ(folder.list(), (Files{"expected.3mm", "movie.3mm"}));
  }
}

TEST_F(RunTest, EmptyArguments) {
  auto result = hushmaker(folder, {"movie.3mm", ""});
  EXPECT_EQ(result.status, 3);
  expectOutput(result, {"Loading movie.3mm...", "Loaded. 15 quads, silentifying...", "Saving to ...",
                        "Couldn't save!"});

  result = hushmaker(folder, {""});
  EXPECT_EQ(result.status, 1);
  expectOutput(result, {"Loading ...", "Couldn't load!"});
  EXPECT_EQ(folder.list(), Files{"movie.3mm"});
}

TEST_F(RunTest, MalformedOrMissingDocumentIsNotLoaded) {
  Bytes bytes = sampleMovie().bytes();
  bytes.push_back(0);
  writeFile(folder / "bad.3mm", bytes);
  auto result = hushmaker(folder, {"bad.3mm"});
  EXPECT_EQ(result.status, 1);
  expectOutput(result, {"Loading bad.3mm...", "Couldn't load!"});

  result = hushmaker(folder, {"missing.3mm"});
  EXPECT_EQ(result.status, 1);
  EXPECT_EQ(folder.list(), (Files{"bad.3mm", "movie.3mm"}));
}

TEST_F(RunTest, RefusedGroupSavesNothing) {
  DocumentBuilder doc;
  doc.add("GGFR", 17, bytesOf("not a group at all"));
  writeFile(folder / "packed.3mm", doc.bytes());
  const auto result = hushmaker(folder, {"packed.3mm"});
  EXPECT_EQ(result.status, 2);
  expectOutput(result, {"Loading packed.3mm...", "Loaded. 1 quads, silentifying...", "Loading 17 (GGFR)",
                        "Error: Bad marker"});
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "packed.3mm"}));
}

TEST_F(RunTest, FailedSaveKeepsTheExistingOutput) {
  auto result = hushmaker(folder, {"movie.3mm", "no-such-folder/out.3mm"});
  EXPECT_EQ(result.status, 3);
  EXPECT_NE(result.output.find("Couldn't save!\n"), std::string::npos);

  fs::create_directory(folder / "taken.3mm");
  result = hushmaker(folder, {"movie.3mm", "taken.3mm"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(folder.list(), (Files{"movie.3mm", "taken.3mm"}));
}

TEST_F(RunTest, ReadOnlyInputLoads) {
  fs::permissions(folder / "movie.3mm", fs::perms::owner_read);
  const auto result = hushmaker(folder, {"movie.3mm"});
  EXPECT_EQ(result.status, 7);
}

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

  // On a terminal, the usage text and a failed load wait for Enter.
  for (const std::vector<std::string>& args : {std::vector<std::string>{}, std::vector<std::string>{"missing.3mm"}}) {
    const auto result = runOnTerminal(HUSHMAKER_EXE, args, folder.path(), "\n");
    EXPECT_NE(result.output.find("Press Enter to continue . . ."), std::string::npos);
    EXPECT_EQ(result.status, args.empty() ? 0 : 1);
  }
  // A successful run does not.
  const auto result = runOnTerminal(HUSHMAKER_EXE, {"movie.3mm"}, folder.path(), "\n");
  EXPECT_EQ(result.status, 7);
  EXPECT_EQ(result.output.find("Press"), std::string::npos);
}

}  // namespace
}  // namespace hush::testing
