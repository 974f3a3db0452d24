// A small bounds-checked reader over bytes that came from outside: a file
// region or a payload. Every read checks the remaining length first; the
// first failed read makes the reader fail for good and all later reads
// yield zero, so a parser can read a whole structure and test once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace hush {

class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  std::size_t position() const { return pos_; }
  std::size_t size() const { return bytes_.size(); }
  std::size_t remaining() const { return ok_ ? bytes_.size() - pos_ : 0; }

  // Moves to an absolute position; a position past the end fails the reader.
  bool seek(std::uint64_t pos) {
    if (!ok_ || pos > bytes_.size()) return fail();
    pos_ = static_cast<std::size_t>(pos);
    return true;
  }

  bool skip(std::uint64_t count) {
    if (count > remaining()) return fail();
    pos_ += static_cast<std::size_t>(count);
    return true;
  }

  std::uint8_t u8() {
    const auto b = take(1);
    return b.empty() ? 0 : b[0];
  }

  std::uint16_t u16() {
    const auto b = take(2);
    if (b.empty()) return 0;
    return static_cast<std::uint16_t>(b[0] | (b[1] << 8));
  }

  std::uint32_t u32() {
    const auto b = take(4);
    if (b.empty()) return 0;
    return static_cast<std::uint32_t>(b[0]) | (static_cast<std::uint32_t>(b[1]) << 8) |
           (static_cast<std::uint32_t>(b[2]) << 16) | (static_cast<std::uint32_t>(b[3]) << 24);
  }

  // A view of the next `count` bytes, or an empty view (and failure) when
  // fewer remain. A zero-length take always succeeds while the reader is ok.
  std::span<const std::uint8_t> take(std::uint64_t count) {
    if (count > remaining()) {
      fail();
      return {};
    }
    const auto view = bytes_.subspan(pos_, static_cast<std::size_t>(count));
    pos_ += static_cast<std::size_t>(count);
    return view;
  }

 private:
  bool fail() {
    ok_ = false;
    return false;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  bool ok_ = true;
};

// True when [offset, offset + length) lies inside a region of `limit` bytes,
// computed without wrapping.
constexpr bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t limit) {
  return offset <= limit && length <= limit - offset;
}

}  // namespace hush
