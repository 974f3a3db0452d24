// Shared pieces of the end-to-end tests, which run the real executable.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/sample_document.h"
#include "support/temp_folder.h"

namespace hush::test {

// Built with AddressSanitizer: it reserves more address space than a
// memory limit allows, and runs too slowly for long real-time tests.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitized = true;
#elif defined(__has_feature)
constexpr bool kSanitized = __has_feature(address_sanitizer);
#else
constexpr bool kSanitized = false;
#endif

inline const std::string kBanner =
    "Hushmaker " HUSH_VERSION ", by the Hushmaker team\n"
    "Chunkwright (v0.95 FINAL), the Hushmaker team's chunky file store\n"
    "\n";

inline ProgramResult hushmaker(const TempFolder& folder, const std::vector<std::string>& args) {
  return runProgram(HUSHMAKER_EXE, args, folder.path());
}

inline std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The banner, then these lines, and nothing else.
inline void expectOutput(const ProgramResult& result, const std::vector<std::string>& lines) {
  std::vector<std::string> expected = linesOf(kBanner);
  expected.insert(expected.end(), lines.begin(), lines.end());
  EXPECT_EQ(linesOf(result.output), expected);
  EXPECT_EQ(result.output.substr(0, kBanner.size()), kBanner);
}

using Files = std::vector<std::string>;

class RunTest : public ::testing::Test {
 protected:
  void SetUp() override { writeFile(folder / "movie.3mm", sampleMovie().bytes()); }
  TempFolder folder;
};

}  // namespace hush::test
