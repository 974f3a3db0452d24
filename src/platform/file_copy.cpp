#include <algorithm>
#include <vector>

#include "platform/file_system.h"

namespace hush {

// Plain buffered copy, used where no faster way applies.
bool File::copyFrom(File& source, std::uint64_t offset, std::uint64_t length) {
  constexpr std::uint64_t kBlock = 1 << 20;
  std::vector<std::uint8_t> buffer(static_cast<std::size_t>(std::min(length, kBlock)));
  while (length > 0) {
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(length, buffer.size()));
    const std::span<std::uint8_t> block(buffer.data(), n);
    if (!source.readAt(offset, block) || !write(block)) return false;
    offset += n;
    length -= n;
  }
  return true;
}

}  // namespace hush
