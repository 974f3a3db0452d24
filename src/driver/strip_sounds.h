// The pass that removes every sound from a loaded document, in memory.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "chunky/chunk_types.h"
#include "chunky/chunky_file.h"

namespace hush {

// Why the pass stopped: the group it could not rewrite, when a group
// stopped it, and the reason.
struct StripRefusal {
  std::optional<ChunkInfo> group;
  std::string message;
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

// Rewritten groups stay in memory until the save. Entries of an ordinary
// document never share bytes, so rewriting only shrinks its groups; a
// crafted one whose entries share bytes could grow every group to 16 MiB.
// This keeps count and holds the growth to one group's worth.
class GroupGrowth {
 public:
  static constexpr std::uint64_t kAllowance = std::uint64_t{16} << 20;
  // Counts one group rewritten from `stored` to `rewritten` bytes; false
  // when the groups rewritten so far would outgrow their stored sizes by
  // more than the allowance.
  [[nodiscard]] bool admit(std::uint64_t stored, std::uint64_t rewritten);

 private:
  std::uint64_t stored_ = 0;
  std::uint64_t rewritten_ = 0;
};

}  // namespace hush
