// Group payloads for the benchmarks.
#pragma once

#include <cstdint>
#include <vector>

namespace hush::bench {

// A group payload of `size` bytes in normal form: entries of `entrySize`
// bytes, every second one a sound event, then zero padding.
std::vector<std::uint8_t> groupPayload(std::uint32_t size, std::uint32_t entrySize, std::uint32_t fixedSize);

}  // namespace hush::bench
