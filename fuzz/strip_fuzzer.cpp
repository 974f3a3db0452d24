// Arbitrary bytes as a movie, through the whole run: load, strip, save,
// load the output again. Whatever loaded must be saved, and what was saved
// must load and hold no sound at all.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "chunky/chunky_file.h"
#include "driver/strip_sounds.h"
#include "groups/errors.h"
#include "groups/event_group.h"
#include "silence/sound_policy.h"
#include "support/crash_file_system.h"

using namespace hush;

namespace {

void checkSilent(ChunkyFile& output) {
  std::vector<std::uint8_t> payload;
  std::vector<std::uint8_t> normal;
  for (std::uint32_t i = 0; i < output.chunkCount(); ++i) {
    output.selectChunk(i);
    ChunkInfo info;
    if (!output.describeCurrent(info)) std::abort();
    if (sound::isSoundChunk(info.tag)) std::abort();
    if (sound::linksToSounds(info.tag)) {
      for (const ChildLink& link : output.currentLinks()) {
        if (link.tag == sound::kLinkedSound) std::abort();
      }
    }
    if (sound::holdsEventGroup(info.tag)) {
      payload.resize(info.payloadSize);
      if (!output.readCurrentPayload(payload)) std::abort();
      try {
        EventGroup group(payload);
        for (std::size_t e = 0; e < group.entryCount(); ++e) {
          if (sound::isSoundEvent(group.entry(e), group.fixedSize())) std::abort();
        }
        group.serialize(normal);
        if (normal != payload) std::abort();  // not in normal form
      } catch (const Error&) {
        std::abort();
      }
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  test::CrashFileSystem files;
  const std::vector<std::uint8_t> input(data, data + size);
  files.put(u"in.3mm", input);
  ChunkyFile document(files);
  if (document.open(u"in.3mm") != kOpened) return 0;
  if (!stripSounds(document).done()) return 0;  // a refused group: nothing is saved
  const std::uint32_t kept = document.chunkCount();
  if (document.save(u"out.3mm") != kSaved) std::abort();
  const auto after = files.visible();
  if (after.size() != 2 || after.at(u"in.3mm") != input) std::abort();

  ChunkyFile output(files);
  if (output.open(u"out.3mm") != kOpened) std::abort();
  if (output.chunkCount() != kept) std::abort();
  checkSilent(output);
  return 0;
}
