// Arbitrary bytes as a document: the loader must refuse or accept them
// without reading outside the file, and every query on every chunk of an
// accepted document must stay inside what the loader checked.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "chunky/chunky_file.h"
#include "support/crash_file_system.h"

using namespace hush;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  test::CrashFileSystem files;
  files.put(u"in.3mm", std::vector<std::uint8_t>(data, data + size));
  ChunkyFile document(files);
  const int result = document.open(u"in.3mm");
  if (result != kOpened) {
    if (document.isOpen() || document.chunkCount() != 0) std::abort();
    return 0;
  }
  const std::uint32_t count = document.chunkCount();
  std::vector<std::uint8_t> payload;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (!document.selectChunk(i)) std::abort();
    ChunkInfo info;
    if (!document.describeCurrent(info)) std::abort();
    payload.resize(document.currentPayloadSize());
    // The loader checked that every payload lies in the file.
    if (!document.readCurrentPayload(payload)) std::abort();
    if (info.linkCount != document.currentLinks().size()) std::abort();
    for (std::uint16_t link = 0; link < info.linkCount; ++link) {
      if (!document.selectCurrentLink(link)) std::abort();
    }
    if (document.selectCurrentLink(info.linkCount)) std::abort();
    // The first record with this tag and number, in store order.
    const std::int32_t found = document.findChunk(info.tag, info.number);
    if (found < 0 || static_cast<std::uint32_t>(found) > i) std::abort();
  }
  if (document.selectChunk(count)) std::abort();
  return 0;
}
