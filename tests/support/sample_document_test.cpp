#include <gtest/gtest.h>

#include "support/sample_document.h"
#include "support/temp_folder.h"

namespace hush::test {
namespace {

// The bundled sample is what tools/make_sample writes; rebuild it with that
// tool when the sample changes.
TEST(SampleDocument, BundledFileIsTheBuildersOutput) { EXPECT_EQ(readFile(HUSH_SAMPLE), sampleMovie().bytes()); }

}  // namespace
}  // namespace hush::test
