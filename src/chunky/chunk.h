// One chunk record of the store: identity, parents, name, links, and a
// payload that lies either in the document's file or in memory.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "chunky/chunk_types.h"
#include "chunky/chunky_format.h"
#include "platform/file_system.h"

namespace hush {

class Chunk {
 public:
  std::uint32_t payloadSize() const { return inFile ? fileSize : static_cast<std::uint32_t>(memData.size()); }
  // Copies the payload into `destination`, which must hold payloadSize()
  // bytes, from `file` (the store's, or null when it has none) or from
  // memory. False when the payload cannot be read whole.
  [[nodiscard]] bool readPayload(File* file, std::span<std::uint8_t> destination) const;
  std::size_t linkCount() const { return links.size(); }

  // Inserts `link` in link order and selects it; kNoLink (and no change but
  // a cleared selection) when a link with the same childId and tag exists.
  std::uint16_t addLink(const ChildLink& link);
  // The links of a descriptor in file order, with the same outcome as
  // addLink for each in turn.
  void setLinksInFileOrder(std::vector<ChildLink> fileOrder);

  void setPayload(std::span<const std::uint8_t> bytes);
  bool selectLink(std::uint16_t index);
  bool selectedLinkValue(ChildLink& link) const;
  bool eraseSelectedLink();
  void setName(const std::u16string& newName, bool wasWide);

  // Small fields first and together: a document may hold a million records.
  ChunkTag tag = 0;
  ChunkNumber number = 0;
  std::uint32_t filePos = 0;
  std::uint32_t fileSize = 0;
  format::NameForm nameForm = format::NameForm::None;
  std::uint16_t refCount = 0;
  std::uint16_t selectedLink = kNoLink;
  std::uint8_t loadedFlags = 0;
  bool nameWasWide = false;
  bool inFile = false;
  bool packed = false;
  bool pothMarked = false;
  std::u16string name;
  std::vector<std::uint8_t> memData;  // the in-memory payload
  std::vector<ChildLink> links;
};

}  // namespace hush
