// The pass that removes every sound from a loaded document, in memory.
#pragma once

#include <optional>
#include <string>

#include "chunky/chunk_types.h"
#include "chunky/chunky_file.h"
#include "driver/refusal.h"

namespace hush {

// Why the pass stopped: the group it could not rewrite, when a group
// stopped it, and the reason (with the group codec's own words for a
// damaged group).
struct StripRefusal {
  std::optional<ChunkInfo> group;
  Refusal kind = Refusal::None;
  std::string codecWords;
};

// What the pass did: done, or stopped with a refusal. The store of a
// stopped pass is half edited and must not be saved.
struct [[nodiscard]] StripResult {
  std::optional<StripRefusal> refusal;
  bool done() const { return !refusal; }
};

// Rewrites every event group without its sound events, removes every link
// from a movie or scene to a sound, and deletes every sound chunk (the
// tags are in silence/sound_policy.h). Prints nothing; the run reports the
// refusal.
StripResult stripSounds(ChunkyFile& document);

}  // namespace hush
