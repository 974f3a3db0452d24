#include "chunky/chunk.h"

#include <algorithm>

namespace hush {

bool Chunk::readPayload(File* file, std::span<std::uint8_t> destination) const {
  const std::uint32_t size = payloadSize();
  if (destination.size() < size) return false;
  if (inFile) {
    if (file == nullptr) return false;
    return file->readAt(filePos, destination.first(size));
  }
  std::copy(memData.begin(), memData.end(), destination.begin());
  return true;
}

std::uint16_t Chunk::addLink(const ChildLink& link) {
  // Links are kept sorted with unique (childId, tag), so the place is found
  // by binary search rather than the walk it stands for.
  const auto at = std::lower_bound(links.begin(), links.end(), link, [](const ChildLink& a, const ChildLink& b) {
    return compareLinkOrder(a, b) < 0;
  });
  if ((at != links.end() && compareLinkOrder(*at, link) == 0) || links.size() >= kNoLink) {
    selectedLink = kNoLink;
    return kNoLink;
  }
  const auto index = static_cast<std::uint16_t>(at - links.begin());
  links.insert(at, link);
  selectedLink = index;
  return index;
}

void Chunk::setLinksInFileOrder(std::vector<ChildLink> fileOrder) {
  // Adding one link at a time keeps the first link of each (childId, tag)
  // and rejects the later ones. A stable sort followed by dropping repeats
  // gives the same list without the quadratic insertions.
  links.clear();
  selectedLink = kNoLink;
  if (fileOrder.empty()) return;
  const ChildLink last = fileOrder.back();
  const auto lastIsRepeat = std::any_of(fileOrder.begin(), fileOrder.end() - 1, [&](const ChildLink& l) {
    return compareLinkOrder(l, last) == 0;
  });
  std::stable_sort(fileOrder.begin(), fileOrder.end(),
                   [](const ChildLink& a, const ChildLink& b) { return compareLinkOrder(a, b) < 0; });
  const auto end = std::unique(fileOrder.begin(), fileOrder.end(), [](const ChildLink& a, const ChildLink& b) {
    return compareLinkOrder(a, b) == 0;
  });
  fileOrder.erase(end, fileOrder.end());
  links = std::move(fileOrder);
  // The selection is what the last addLink left: the last link's place, or
  // none when it was a rejected repeat.
  if (!lastIsRepeat) {
    const auto at = std::lower_bound(links.begin(), links.end(), last, [](const ChildLink& a, const ChildLink& b) {
      return compareLinkOrder(a, b) < 0;
    });
    selectedLink = static_cast<std::uint16_t>(at - links.begin());
  }
}

void Chunk::setPayload(std::span<const std::uint8_t> bytes) {
  memData.clear();
  memData.shrink_to_fit();
  packed = false;
  pothMarked = false;
  inFile = false;
  if (bytes.empty()) return;
  memData.assign(bytes.begin(), bytes.end());
  const auto marks = format::payloadMarks(bytes.first(std::min<std::size_t>(bytes.size(), 8)), bytes.size());
  packed = marks.packed;
  pothMarked = marks.pothMarked;
}

bool Chunk::selectLink(std::uint16_t index) {
  if (index >= links.size()) return false;
  selectedLink = index;
  return true;
}

bool Chunk::selectedLinkValue(ChildLink& link) const {
  if (selectedLink == kNoLink || selectedLink >= links.size()) return false;
  link = links[selectedLink];
  return true;
}

bool Chunk::eraseSelectedLink() {
  if (selectedLink == kNoLink || selectedLink >= links.size()) return false;
  links.erase(links.begin() + selectedLink);
  selectedLink = kNoLink;
  return true;
}

void Chunk::setName(const std::u16string& newName, bool wasWide) {
  nameWasWide = wasWide;
  const auto length = std::min(newName.find(u'\0'), newName.size());
  const bool anyWide = std::any_of(newName.begin(), newName.begin() + static_cast<std::ptrdiff_t>(length),
                                   [](char16_t unit) { return unit > 0xFF; });
  if (length == 0) {
    nameForm = format::NameForm::None;
  } else if (anyWide || wasWide) {
    nameForm = format::NameForm::Wide;
  } else {
    nameForm = format::NameForm::Narrow;
  }
  name = newName;
}

}  // namespace hush
