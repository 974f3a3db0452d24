// The pass that removes every sound from a loaded document, in memory.
#pragma once

#include <cstdint>

#include "chunky/chunk_types.h"
#include "chunky/chunky_file.h"

namespace hush {

// Rewrites every GGFR and GGAE group without its sound events, removes
// every link from MVIE and SCEN chunks to MSND chunks, and deletes every
// WAVE, MSND and MIDS chunk. False when an Error stopped it, after printing
// "Loading %u (%s)" and "Error: %s"; the store must then not be saved.
bool stripSounds(ChunkyFile& document);

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
  bool admit(std::uint64_t stored, std::uint64_t rewritten);

 private:
  std::uint64_t stored_ = 0;
  std::uint64_t rewritten_ = 0;
};

// Steps of the pass, each on the selected chunk or the whole store.
bool filterGroupChunk(ChunkyFile& document, const ChunkInfo& info, GroupGrowth& growth);
void unlinkSoundChildren(ChunkyFile& document);
void deleteSoundChunks(ChunkyFile& document);

}  // namespace hush
