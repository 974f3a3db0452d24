// Arbitrary bytes as a group payload. A refused payload throws LoadError
// and nothing else; an accepted one loses its sound events and comes out
// in normal form, which reads back as the same group.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "groups/event_group.h"
#include "silence/sound_policy.h"

using namespace hush;

namespace {

bool sameBytes(GroupEntry a, GroupEntry b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size()) == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<std::uint8_t> payload(data, data + size);
  EventGroup group;
  try {
    group.parse(payload);
  } catch (const LoadError&) {
    return 0;
  }
  // Which entries must survive, computed apart from removeSoundEvents.
  std::vector<std::size_t> survivors;
  for (std::size_t i = 0; i < group.entryCount(); ++i) {
    if (!sound::isSoundEvent(group.entry(i), group.fixedSize())) survivors.push_back(i);
  }
  EventGroup original;
  original.parse(payload);

  group.removeSoundEvents();
  if (group.entryCount() != survivors.size()) std::abort();
  for (std::size_t i = 0; i < survivors.size(); ++i) {
    if (!sameBytes(group.entry(i), original.entry(survivors[i]))) std::abort();
  }
  if (group.serializedSize() > 0xFFFFFFFFu) return 0;  // too large to write at all

  std::vector<std::uint8_t> out;
  group.serialize(out);
  if (out.size() != group.serializedSize()) std::abort();
  EventGroup again(out);  // throws (and the fuzzer reports it) if not a group
  if (again.fixedSize() != original.fixedSize() || again.entryCount() != survivors.size()) std::abort();
  for (std::size_t i = 0; i < survivors.size(); ++i) {
    if (!sameBytes(again.entry(i), group.entry(i)) || sound::isSoundEvent(again.entry(i), again.fixedSize())) std::abort();
  }
  // Normal form is a fixed point.
  std::vector<std::uint8_t> twice;
  again.serialize(twice);
  if (twice != out) std::abort();
  return 0;
}
