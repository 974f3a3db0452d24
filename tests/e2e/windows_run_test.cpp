// Runs as Windows users start them: names in any script.
#include <filesystem>

#include "e2e/e2e_support.h"

namespace hush::test {
namespace {

namespace fs = std::filesystem;

TEST_F(RunTest, NamesInAnyScriptLoadAndGetTheirDefaultName) {
  const std::u8string names[] = {u8"\u0444\u0438\u043b\u044c\u043c.3mm", u8"\u03c4\u03b1\u03b9\u03bd\u03af\u03b1.3mm",
                                 u8"\u6620\u753b.3mm", u8"Bob\u2019s movie.3mm"};
  for (const auto& name : names) {
    const fs::path input = folder.path() / fs::path(name);
    writeFile(input, sampleMovie().bytes());
    const std::string utf8(name.begin(), name.end());
    const auto result = hushmaker(folder, {utf8});
    EXPECT_EQ(result.status, 7) << utf8;
    const std::u8string quiet = name.substr(0, name.size() - 4) + u8"-quiet.3mm";
    EXPECT_TRUE(fs::exists(folder.path() / fs::path(quiet))) << utf8;
  }
}

TEST_F(RunTest, DevicesAreNeitherReadNorReplaced) {
  for (const std::string device : {"NUL", "CON"}) {
    auto result = hushmaker(folder, {"movie.3mm", device});
    EXPECT_EQ(result.status, 3) << device;
    EXPECT_EQ(linesOf(result.output).back(), "Error: The target is a device or a pipe") << device;
    result = hushmaker(folder, {device});
    EXPECT_EQ(result.status, 1) << device;
  }
  EXPECT_EQ(folder.list(), Files{"movie.3mm"});
}

// A stream ("o.3mm:stream") is no output: refused, not even o.3mm is made.
TEST_F(RunTest, AStreamIsNoOutput) {
  const auto result = hushmaker(folder, {"movie.3mm", "o.3mm:stream"});
  EXPECT_EQ(result.status, 3);
  EXPECT_EQ(linesOf(result.output).back(), "Error: A name with a colon names a hidden stream of a file, not a movie file");
  EXPECT_EQ(folder.list(), Files{"movie.3mm"});
}

}  // namespace
}  // namespace hush::test
