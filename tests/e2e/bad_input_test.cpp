// Bad documents given to the executable: each is refused with its
// message and status, and nothing is written.
#include "e2e/e2e_support.h"
#include "support/malformations.h"

namespace hush::test {
namespace {

TEST_F(RunTest, EveryMalformedDocumentIsRefused) {
  for (const Malformation& malformation : documentMalformations()) {
    BuiltDocument built = twoChunkDocument().build();
    malformation.apply(built);
    writeFile(folder / "bad.3mm", built.bytes);
    const auto result = hushmaker(folder, {"bad.3mm"});
    EXPECT_EQ(result.status, 1) << malformation.what;
    // Which reason is the store's tests' to check; here, that one is said.
    const auto lines = linesOf(result.output);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "Couldn't load!") << malformation.what;
    EXPECT_TRUE(lines.back().starts_with("Error: ")) << malformation.what;
  }
  EXPECT_EQ(folder.list(), (Files{"bad.3mm", "movie.3mm"}));
}

TEST_F(RunTest, EveryRefusedGroupStopsTheRun) {
  RawGroup dataPastEnd;
  dataPastEnd.data = bytesOf("abcd");
  dataPastEnd.dataSize = 0xFFFFFFF0;
  RawGroup tablePastEnd;
  tablePastEnd.entryCount = 0xFFFFFFFF;
  RawGroup entryOutside;
  entryOutside.data = bytesOf("abcd");
  entryOutside.spans = {{0xFFFFFFF0, 0x20}};  // would wrap around to 16
  const std::vector<std::pair<Bytes, std::string>> cases = {
      {bytesOf("RIFF a sound where a group should be"), "Bad marker"},
      {{}, "Group payload too short for its header"},
      {dataPastEnd.build(), "Group data area runs past the end of the payload"},
      {tablePastEnd.build(), "Group entry table runs past the end of the payload"},
      {entryOutside.build(), "Group entry lies outside the payload"},
  };
  for (const auto& [payload, message] : cases) {
    DocumentBuilder doc = twoChunkDocument();
    doc.add("GGAE", 9, payload);
    writeFile(folder / "group.3mm", doc.bytes());
    const auto result = hushmaker(folder, {"group.3mm"});
    EXPECT_EQ(result.status, 2) << message;
    expectOutput(result, {"Loading group.3mm...", "Loaded. 3 quads, silentifying...", "Loading 9 (GGAE)",
                          "Error: " + message});
  }
  EXPECT_EQ(folder.list(), (Files{"group.3mm", "movie.3mm"}));
}

}  // namespace
}  // namespace hush::test
