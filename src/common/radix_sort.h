// Sorting a million records by a number in linear time: a stable
// least-significant-digit radix sort. Documents are loaded and saved in
// orders that need such sorts; comparison sorts made a shuffled document
// twice as slow as a sorted one.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

namespace hush {

// Sorts `items` by `key(item)` (a number of at most 64 bits), keeping the
// order of items with equal keys.
template <typename T, typename KeyOf>
void radixSort(std::vector<T>& items, KeyOf key) {
  // Small inputs sort cheaper by comparison.
  if (items.size() < 4096) {
    std::stable_sort(items.begin(), items.end(), [&](const T& a, const T& b) { return key(a) < key(b); });
    return;
  }
  // Only the bits in which some keys differ are sorted on, in as few passes
  // of at most 11 bits as cover them, the digits spread evenly. Narrow
  // digits keep each pass's scattered writes to a few thousand places,
  // which the caches hold; wider ones cost more than the passes they save.
  const std::uint64_t first = key(items.front());
  std::uint64_t differ = 0;
  for (const T& item : items) differ |= std::uint64_t{key(item)} ^ first;
  if (differ == 0) return;
  const int low = std::countr_zero(differ);
  const int bits = 64 - std::countl_zero(differ) - low;
  constexpr int kWidest = 11;
  const int passes = (bits + kWidest - 1) / kWidest;
  const int width = (bits + passes - 1) / passes;
  const std::size_t buckets = std::size_t{1} << width;
  const auto digit = [&](const T& item, int pass) {
    return static_cast<std::size_t>((std::uint64_t{key(item)} >> (low + pass * width)) & (buckets - 1));
  };
  // Every pass's counts in one read of the items.
  std::vector<std::size_t> counts(buckets * static_cast<std::size_t>(passes));
  for (const T& item : items) {
    for (int pass = 0; pass < passes; ++pass) ++counts[static_cast<std::size_t>(pass) * buckets + digit(item, pass)];
  }
  std::vector<T> scratch(items.size());
  for (int pass = 0; pass < passes; ++pass) {
    std::size_t* count = &counts[static_cast<std::size_t>(pass) * buckets];
    if (count[digit(items.front(), pass)] == items.size()) continue;  // a digit all keys share
    std::size_t sum = 0;
    for (std::size_t b = 0; b < buckets; ++b) sum += std::exchange(count[b], sum);
    for (T& item : items) scratch[count[digit(item, pass)]++] = std::move(item);
    items.swap(scratch);
  }
}

}  // namespace hush
