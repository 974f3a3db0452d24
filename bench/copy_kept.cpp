// The floor for a save: copies, inside the kernel, just the payload bytes
// a silenced document keeps (every chunk but WAVE, MSND and MIDS), in the
// order they lie in the input, then syncs the copy. No index, no groups
// rewritten: what no save can beat.
//
// usage: copy_kept <in.3mm> <out>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <utility>
#include <vector>

#include "chunky/chunky_file.h"
#include "platform/path.h"
#include "silence/sound_policy.h"

using namespace hush;

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: copy_kept <in.3mm> <out>\n");
    return 2;
  }
  ChunkyFile document;
  if (document.open(widenPath(argv[1])) != kOpened) return 1;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;  // (position, length), merged when adjacent
  for (const Chunk& chunk : document.chunks()) {
    if (sound::isSoundChunk(chunk.tag)) continue;
    ranges.emplace_back(chunk.filePos, chunk.fileSize);
  }
  std::sort(ranges.begin(), ranges.end());
  const int in = ::open(argv[1], O_RDONLY);
  const int out = ::open(argv[2], O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (in < 0 || out < 0) return 1;
  for (std::size_t i = 0; i < ranges.size();) {
    auto [from, length] = ranges[i++];
    for (; i < ranges.size() && ranges[i].first == from + length; ++i) length += ranges[i].second;
    auto at = static_cast<off_t>(from);
    while (length > 0) {
      const ssize_t n = ::copy_file_range(in, &at, out, nullptr, length, 0);
      if (n <= 0) return 1;
      length -= static_cast<std::uint64_t>(n);
    }
  }
  return ::fsync(out) == 0 && ::close(out) == 0 ? 0 : 1;
}
