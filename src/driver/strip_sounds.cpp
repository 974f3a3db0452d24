#include "driver/strip_sounds.h"

#include <new>
#include <vector>

#include "chunky/chunky_format.h"
#include "groups/errors.h"
#include "driver/payload_budget.h"
#include "groups/event_group.h"
#include "silence/sound_policy.h"

namespace hush {

namespace {

// Rewrites the selected group without its sound events; the refusal when
// it cannot, and then the group is left as it was.
std::optional<StripRefusal> filterGroupChunk(ChunkyFile& document, PayloadBudget& budget) {
  const auto refused = [](Refusal kind, std::string codecWords = {}) {
    return StripRefusal{std::nullopt, kind, std::move(codecWords)};
  };
  try {
    std::vector<std::uint8_t> payload(document.currentPayloadSize());
    // A payload we cannot read means the file changed under us; zeros are
    // not the group, so this stops the run like a refused group.
    if (!document.readCurrentPayload(payload)) return refused(Refusal::GroupUnreadable);
    EventGroup group(payload);
    group.removeSoundEvents();
    // Entries that share bytes can make a group grow; refuse before building
    // a payload no document could hold.
    const std::uint64_t rewritten = group.serializedSize();
    if (rewritten > format::kMaxPayload) return refused(Refusal::GroupTooLarge);
    if (!budget.admit(payload.size(), rewritten)) return refused(Refusal::GroupsOutgrowDocument);
    group.serialize(payload);
    if (!document.replaceCurrentPayload(payload)) return refused(Refusal::NoGroupSelected);
    return std::nullopt;
  } catch (const Error& error) {
    return refused(Refusal::GroupDamaged, error.what());
  } catch (const std::bad_alloc&) {
    return refused(Refusal::NoMemoryForGroup);
  }
}

}  // namespace

StripResult stripSounds(ChunkyFile& document) {
  const std::uint32_t n = document.chunkCount();
  ChunkInfo info;
  try {
    // Refused before a payload is read, in one sort of the records.
    auto plan = PayloadBudget::plan(document.payloadSpans(), document.fileLength(), document.savedSizeBesidesPayloads());
    if (!plan.budget) return {StripRefusal{std::nullopt, plan.refusal, {}}};
    PayloadBudget& budget = *plan.budget;
    for (std::uint32_t i = 0; i < n; ++i) {
      if (!document.selectChunk(i) || !document.describeCurrent(info)) continue;
      const bool group = sound::holdsEventGroup(info.tag);
      // One branch, rarely taken, however the tags of a store are mixed.
      if (!(group | sound::linksToSounds(info.tag))) continue;
      if (!group) {
        document.unlinkCurrentLinksTagged(sound::kLinkedSound);
      } else if (auto refusal = filterGroupChunk(document, budget)) {
        refusal->group = info;
        return {std::move(refusal)};
      }
    }
    document.deleteChunksTagged(sound::kSoundChunks);
  } catch (const std::bad_alloc&) {
    // The plan, or the lookups behind unlinking and deleting: the store
    // may be half edited and must not be saved.
    return {StripRefusal{std::nullopt, Refusal::NoMemoryForPass, {}}};
  }
  return {};
}

}  // namespace hush
