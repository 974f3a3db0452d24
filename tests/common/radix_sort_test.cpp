#include "common/radix_sort.h"

#include <gtest/gtest.h>

#include <random>

namespace hush {
namespace {

struct Item {
  std::uint64_t key;
  std::size_t place;
  friend bool operator==(const Item&, const Item&) = default;
};

// Against the standard's stable sort, over sizes on both sides of the
// switch to radix passes, with keys repeated a lot and keys of any width.
TEST(RadixSort, SortsAsAStableSortWould) {
  std::mt19937_64 random(17);
  for (int round = 0; round < 60; ++round) {
    const std::size_t size = round < 40 ? 17 + random() % 4079 : random() % 20000;
    const std::uint64_t keys = round % 3 == 0 ? 5 : round % 3 == 1 ? 1 << 20 : UINT64_MAX;
    std::vector<Item> items(size);
    for (std::size_t i = 0; i < size; ++i) items[i] = Item{random() % keys << (round % 7), i};
    std::vector<Item> expected = items;
    std::stable_sort(expected.begin(), expected.end(), [](const Item& a, const Item& b) { return a.key < b.key; });
    radixSort(items, [](const Item& item) { return item.key; });
    ASSERT_EQ(items, expected) << size << " items";
  }
}

}  // namespace
}  // namespace hush
