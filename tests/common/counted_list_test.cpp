#include "common/counted_list.h"

#include <gtest/gtest.h>

namespace hush {
namespace {

// Counts read from a file may be anything: the table's length is computed
// wide, so 2^29 entries of 8 bytes are 4 GiB, not 0.
TEST(CountedListHeader, TableLengthDoesNotWrap) {
  CountedListHeader header;
  header.entryCount = 0x20000000;
  EXPECT_EQ(header.tableLength(), std::uint64_t{1} << 32);
  EXPECT_FALSE(header.tableFits(1000));
}

}  // namespace
}  // namespace hush
