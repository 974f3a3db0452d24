// How many bytes the silent movie may write: no more than the movie's own
// length and 16 MiB.
#pragma once

#include <cstdint>
#include <optional>
#include <span>

#include "chunky/chunk_types.h"
#include "driver/refusal.h"

namespace hush {

// Records of an ordinary document never share bytes, and rewriting their
// groups only shrinks them. A crafted one can name one stored payload (or
// its own header and index) from thousands of records, or pack a group
// with entries that share bytes: each would be read, held and written once
// per record or entry. The budget counts what the silent movie writes,
// its header and index included, against the movie's length and 16 MiB.
class PayloadBudget {
 public:
  static constexpr std::uint64_t kAllowance = std::uint64_t{16} << 20;

  // The budget for a freshly loaded store of a `movieSize`-byte movie,
  // whose save writes `besidesPayloads` bytes of header and index, or why
  // there is none: two groups share bytes (each would be rewritten on its
  // own), or the records that stay already outgrow the movie.
  struct Plan;
  static Plan plan(std::span<const PayloadSpan> spans, std::uint64_t movieSize, std::uint64_t besidesPayloads);

  // Counts one group rewritten from `stored` to `rewritten` bytes; false
  // when the silent movie would then outgrow the budget.
  [[nodiscard]] bool admit(std::uint64_t stored, std::uint64_t rewritten);

 private:
  PayloadBudget(std::uint64_t limit, std::uint64_t spent) : limit_(limit), spent_(spent) {}
  std::uint64_t limit_;
  std::uint64_t spent_;
};

struct [[nodiscard]] PayloadBudget::Plan {
  std::optional<PayloadBudget> budget;
  Refusal refusal = Refusal::None;
};

}  // namespace hush
