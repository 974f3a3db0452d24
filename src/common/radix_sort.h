// Sorting a million records by a number in linear time: a stable
// least-significant-digit radix sort, 16 bits a pass, skipping the passes
// whose digit every key shares. Documents are loaded and saved in orders
// that need such sorts; comparison sorts made a shuffled document twice as
// slow as a sorted one.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hush {

// Sorts `items` by `key(item)` (a number of at most 64 bits), keeping the
// order of items with equal keys.
template <typename T, typename KeyOf>
void radixSort(std::vector<T>& items, KeyOf key) {
  // A pass costs a 64K-entry count table: small inputs sort cheaper by
  // comparison.
  if (items.size() < 4096) {
    std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) { return key(a) < key(b); });
    return;
  }
  std::vector<T> scratch(items.size());
  std::vector<std::size_t> counts(std::size_t{1} << 16);
  for (int shift = 0; shift < 64; shift += 16) {
    const auto digit = [&](const T& item) { return static_cast<std::size_t>((std::uint64_t{key(item)} >> shift) & 0xFFFF); };
    std::fill(counts.begin(), counts.end(), 0);
    for (const T& item : items) ++counts[digit(item)];
    if (counts[digit(items.front())] == items.size()) continue;
    std::size_t sum = 0;
    for (std::size_t& count : counts) sum += std::exchange(count, sum);
    for (T& item : items) scratch[counts[digit(item)]++] = std::move(item);
    items.swap(scratch);
  }
}

}  // namespace hush
