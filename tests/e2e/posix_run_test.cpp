// Runs that only POSIX systems can show: byte names, a real terminal.
#include <filesystem>

#include "e2e/e2e_support.h"

namespace hush::testing {
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
