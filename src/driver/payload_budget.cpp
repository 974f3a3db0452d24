#include "driver/payload_budget.h"

#include <algorithm>
#include <vector>

#include "common/radix_sort.h"
#include "silence/sound_policy.h"

namespace hush {

PayloadBudget::Plan PayloadBudget::plan(std::span<const PayloadSpan> spans, std::uint64_t movieSize,
                                        std::uint64_t besidesPayloads) {
  std::vector<PayloadSpan> groups;
  std::uint64_t kept = besidesPayloads;  // what the silent movie writes before any group is rewritten
  for (const PayloadSpan& span : spans) {
    if (!sound::isSoundChunk(span.tag)) kept += span.size;
    if (span.inFile && span.size > 0 && sound::holdsEventGroup(span.tag)) groups.push_back(span);
  }
  radixSort(groups, [](const PayloadSpan& span) { return span.pos; });
  // One walk in file order: whether a group starts inside another group.
  std::uint64_t groupTo = 0;
  for (const PayloadSpan& span : groups) {
    if (span.pos < groupTo) return {std::nullopt, Refusal::GroupsShareBytes};
    groupTo = std::uint64_t{span.pos} + span.size;
  }
  const std::uint64_t limit = movieSize + kAllowance;
  if (kept > limit) return {std::nullopt, Refusal::RecordsShareTooMuch};
  return {PayloadBudget(limit, kept), Refusal::None};
}

bool PayloadBudget::admit(std::uint64_t stored, std::uint64_t rewritten) {
  // `stored` is among what the plan counted, so this never wraps.
  const std::uint64_t spent = spent_ + rewritten - std::min(stored, spent_ + rewritten);
  if (spent > limit_) return false;
  spent_ = spent;
  return true;
}

}  // namespace hush
