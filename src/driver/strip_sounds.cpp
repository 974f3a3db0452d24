#include "driver/strip_sounds.h"

#include <array>
#include <cstdio>
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

bool filterGroupChunk(ChunkyFile& document, const ChunkInfo& info) {
  try {
    std::vector<std::uint8_t> payloadBuffer(document.currentPayloadSize());
    // A payload we cannot read means the file changed under us; zeros are
    // not the group, so this stops the run like a refused group.
    if (!document.readCurrentPayload(payloadBuffer)) throw Error("Couldn't read the group from the file");
    EventGroup group(payloadBuffer);
    group.removeSoundEvents();
    // Entries that share bytes can make a group grow; refuse before building
    // a payload no document could hold.
    if (group.serializedSize() > format::kMaxPayload) throw Error("Group too large to save");
    group.serialize(payloadBuffer);
    document.replaceCurrentPayload(payloadBuffer);
    return true;
  } catch (const Error& error) {
    std::printf("Loading %u (%s)\n", static_cast<unsigned>(info.number), tagText(info.tag).c_str());
    std::printf("Error: %s\n", error.what());
    return false;
  }
}

void unlinkSoundChildren(ChunkyFile& document) { document.unlinkCurrentLinksTagged(kMSND); }

void deleteSoundChunks(ChunkyFile& document) {
  constexpr std::array<ChunkTag, 3> kSoundChunks{kWAVE, kMSND, kMIDS};
  document.deleteChunksTagged(kSoundChunks);
}

bool stripSounds(ChunkyFile& document) {
  const std::uint32_t n = document.chunkCount();
  ChunkInfo info;
  for (std::uint32_t i = 0; i < n; ++i) {
    document.selectChunk(i);
    document.describeCurrent(info);
    if (info.tag == kGGFR || info.tag == kGGAE) {
      if (!filterGroupChunk(document, info)) return false;
    } else if (info.tag == kMVIE || info.tag == kSCEN) {
      unlinkSoundChildren(document);
    }
  }
  deleteSoundChunks(document);
  return true;
}

}  // namespace hush
