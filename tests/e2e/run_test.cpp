// The run as a user sees it: arguments, messages, exit status, files.
#include <filesystem>

#include "e2e/e2e_support.h"
#include "support/sample_document.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

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

}  // namespace
}  // namespace hush::test
