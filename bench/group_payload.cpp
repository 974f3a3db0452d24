#include "group_payload.h"

#include "common/byte_writer.h"

namespace hush::bench {

std::vector<std::uint8_t> groupPayload(std::uint32_t size, std::uint32_t entrySize, std::uint32_t fixedSize) {
  const std::uint32_t count = size < 20 ? 0 : (size - 20) / (entrySize + 8);
  std::vector<std::uint8_t> out;
  out.reserve(size);
  appendWord32(out, 0x03030001);
  appendWord32(out, count);
  appendWord32(out, count * entrySize);
  appendWord32(out, 0xFFFFFFFF);
  appendWord32(out, fixedSize);
  for (std::uint32_t i = 0; i < count; ++i) {
    const bool sound = i % 2 == 1;
    const std::size_t start = out.size();
    if (fixedSize == 8) {
      appendWord32(out, i);
      appendWord32(out, sound ? 1 : 3);
    } else {
      appendWord32(out, sound ? 6 : 2);
      appendWord32(out, i);
    }
    out.resize(start + entrySize, static_cast<std::uint8_t>(i));
  }
  for (std::uint32_t i = 0; i < count; ++i) {
    appendWord32(out, i * entrySize);
    appendWord32(out, entrySize);
  }
  out.resize(size, 0);  // what is left after the table is padding the codec ignores
  return out;
}

}  // namespace hush::bench
