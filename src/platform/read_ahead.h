// Serves many small positioned reads from one larger window, so that
// walking thousands of small payloads that lie side by side costs a few
// system calls rather than one each.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "platform/file_system.h"

namespace hush {

class ReadAhead {
 public:
  static constexpr std::size_t kWindow = 256 * 1024;
  // Refills start at a multiple of this, so reads ordered only by their
  // granule (offset / kGranule), in any order within one, are served from
  // one window as well as reads in exact order.
  static constexpr std::uint64_t kGranule = 4096;

  // `window`: the most one refill reads, for a file whose every read costs
  // more than the system's cache does.
  ReadAhead(File& file, std::uint64_t fileLength, std::size_t window = kWindow)
      : file_(file), fileLength_(fileLength), size_(window), fill_(window) {}

  // False unless all of `into` was read.
  bool read(std::uint64_t offset, std::span<std::uint8_t> into) {
    if (into.size() > size_ / 4) return file_.readAt(offset, into);
    if (offset < start_ || offset - start_ > window_.size() || window_.size() - (offset - start_) < into.size()) {
      if (offset > fileLength_ || into.size() > fileLength_ - offset) return false;
      // A window that served few reads and few of its bytes was mostly
      // read for nothing: reads that far apart get a window of a granule or
      // two, and reads that share one get the whole window back.
      const bool paid = served_ > 1 && (served_ >= 64 || used_ >= window_.size() / 8);
      fill_ = paid ? size_ : std::max<std::size_t>(kGranule, fill_ / 4);
      served_ = 0;
      used_ = 0;
      const std::uint64_t start = offset - offset % kGranule;
      const std::size_t wanted = std::max<std::size_t>(fill_, static_cast<std::size_t>(offset - start) + into.size());
      window_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(wanted, fileLength_ - start)));
      if (!file_.readAt(start, window_)) {
        window_.clear();
        return false;
      }
      start_ = start;
    }
    ++served_;
    used_ += into.size();
    if (!into.empty()) std::memcpy(into.data(), window_.data() + (offset - start_), into.size());
    return true;
  }

 private:
  File& file_;
  std::uint64_t fileLength_;
  std::uint64_t start_ = 0;
  std::vector<std::uint8_t> window_;
  std::size_t size_;
  std::size_t fill_;
  std::size_t served_ = 2;  // the first window is a whole one
  std::size_t used_ = 0;
};

}  // namespace hush
