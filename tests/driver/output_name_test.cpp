#include "driver/output_name.h"

#include <gtest/gtest.h>

#include "platform/path.h"

namespace hush {
namespace {

TEST(DeriveOutputName, CutsAtTheLastDotAnywhere) {
  const std::pair<std::string, std::string> cases[] = {
      {"movie.3mm", "movie-quiet.3mm"},
      {"C:\\films\\movie.3mm", "C:\\films\\movie-quiet.3mm"},
      {"movie", "movie-quiet.3mm"},
      {"movie.old.3mm", "movie.old-quiet.3mm"},
      {"movie.", "movie-quiet.3mm"},
      {"movie.3MM", "movie-quiet.3mm"},
      {"notes.txt", "notes-quiet.3mm"},
      {"C:\\my.films\\movie", "C:\\my-quiet.3mm"},
      {".\\movie", "-quiet.3mm"},
      {"..\\movie", ".-quiet.3mm"},
      {"", "-quiet.3mm"},
      {"movie-quiet.3mm", "movie-quiet-quiet.3mm"},
      {"dir.d/film\xE9.3mm", "dir.d/film\xE9-quiet.3mm"},
  };
  for (const auto& [input, expected] : cases) {
    EXPECT_EQ(deriveOutputName(input), expected) << input;
    // The wide form of a name gives the wide form of its output name.
    EXPECT_EQ(deriveOutputName(widenPath(input.c_str())), widenPath(expected.c_str())) << input;
  }
}

}  // namespace
}  // namespace hush
