#include "driver/strip_sounds.h"

#include <array>
#include <cstdio>
#include <new>
#include <vector>

#include "chunky/chunky_format.h"
#include "groups/errors.h"
#include "groups/event_group.h"

namespace hush {
namespace {

constexpr ChunkTag kGGFR = makeTag("GGFR");
constexpr ChunkTag kGGAE = makeTag("GGAE");
constexpr ChunkTag kMVIE = makeTag("MVIE");
constexpr ChunkTag kSCEN = makeTag("SCEN");
constexpr ChunkTag kMSND = makeTag("MSND");
constexpr ChunkTag kWAVE = makeTag("WAVE");
constexpr ChunkTag kMIDS = makeTag("MIDS");

}  // namespace

bool GroupGrowth::admit(std::uint64_t stored, std::uint64_t rewritten) {
  if (rewritten_ + rewritten > stored_ + stored + kAllowance) return false;
  stored_ += stored;
  rewritten_ += rewritten;
  return true;
}

bool filterGroupChunk(ChunkyFile& document, const ChunkInfo& info, GroupGrowth& growth) {
  try {
    std::vector<std::uint8_t> payloadBuffer(document.currentPayloadSize());
    // A payload we cannot read means the file changed under us; zeros are
    // not the group, so this stops the run like a refused group.
    if (!document.readCurrentPayload(payloadBuffer)) throw Error("Couldn't read the group from the file");
    EventGroup group(payloadBuffer);
    group.removeSoundEvents();
    // Entries that share bytes can make a group grow; refuse before building
    // a payload no document could hold.
    const std::uint64_t rewritten = group.serializedSize();
    if (rewritten > format::kMaxPayload) throw Error("Group too large to save");
    if (!growth.admit(payloadBuffer.size(), rewritten)) {
      throw Error("Rewritten groups would outgrow the document by more than 16 MiB");
    }
    group.serialize(payloadBuffer);
    document.replaceCurrentPayload(payloadBuffer);
    return true;
  } catch (const Error& error) {
    std::printf("Loading %u (%s)\n", static_cast<unsigned>(info.number), tagText(info.tag).c_str());
    std::printf("Error: %s\n", error.what());
  } catch (const std::bad_alloc&) {
    std::printf("Loading %u (%s)\n", static_cast<unsigned>(info.number), tagText(info.tag).c_str());
    std::printf("Error: Not enough memory for the group\n");
  }
  return false;
}

void unlinkSoundChildren(ChunkyFile& document) { document.unlinkCurrentLinksTagged(kMSND); }

void deleteSoundChunks(ChunkyFile& document) {
  constexpr std::array<ChunkTag, 3> kSoundChunks{kWAVE, kMSND, kMIDS};
  document.deleteChunksTagged(kSoundChunks);
}

bool stripSounds(ChunkyFile& document) {
  const std::uint32_t n = document.chunkCount();
  ChunkInfo info;
  GroupGrowth growth;
  try {
    for (std::uint32_t i = 0; i < n; ++i) {
      document.selectChunk(i);
      document.describeCurrent(info);
      const bool group = (info.tag == kGGFR) | (info.tag == kGGAE);
      const bool linker = (info.tag == kMVIE) | (info.tag == kSCEN);
      // One branch, rarely taken, however the tags of a store are mixed.
      if (!(group | linker)) continue;
      if (group) {
        if (!filterGroupChunk(document, info, growth)) return false;
      } else {
        unlinkSoundChildren(document);
      }
    }
    deleteSoundChunks(document);
  } catch (const std::bad_alloc&) {
    // The lookups behind unlinking and deleting: the store is half edited
    // and must not be saved.
    std::printf("Error: Not enough memory to remove the sounds\n");
    return false;
  }
  return true;
}

}  // namespace hush
