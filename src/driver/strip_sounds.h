// The pass that removes every sound from a loaded document, in memory.
#pragma once

#include "chunky/chunk_types.h"
#include "chunky/chunky_file.h"

namespace hush {

// Rewrites every GGFR and GGAE group without its sound events, removes
// every link from MVIE and SCEN chunks to MSND chunks, and deletes every
// WAVE, MSND and MIDS chunk. False when an Error stopped it, after printing
// "Loading %u (%s)" and "Error: %s"; the store must then not be saved.
bool stripSounds(ChunkyFile& document);

// Steps of the pass, each on the selected chunk or the whole store.
bool filterGroupChunk(ChunkyFile& document, const ChunkInfo& info);
void unlinkSoundChildren(ChunkyFile& document);
void deleteSoundChunks(ChunkyFile& document);

}  // namespace hush
