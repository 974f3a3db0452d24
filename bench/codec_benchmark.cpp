// The group codec against memcpy of the same bytes, and the two ways of
// copying payloads file to file (inside the kernel, and through a buffer).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "group_payload.h"
#include "groups/event_group.h"
#include "platform/file_system.h"

namespace {

using hush::EventGroup;

constexpr std::uint32_t kGroupSize = 8 * 1024 * 1024;

void codec(benchmark::State& state) {
  const auto payload = hush::bench::groupPayload(kGroupSize, 16, static_cast<std::uint32_t>(state.range(0)));
  std::vector<std::uint8_t> out;
  for (auto _ : state) {
    EventGroup group(payload);
    group.removeSoundEvents();
    group.serialize(out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kGroupSize);
}
BENCHMARK(codec)->Arg(8)->Arg(20)->Unit(benchmark::kMillisecond);

void memcpyOfAGroup(benchmark::State& state) {
  const std::vector<std::uint8_t> payload(kGroupSize, 7);
  std::vector<std::uint8_t> out(kGroupSize);
  for (auto _ : state) {
    std::memcpy(out.data(), payload.data(), payload.size());
    benchmark::DoNotOptimize(out.data());
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * kGroupSize);
}
BENCHMARK(memcpyOfAGroup)->Unit(benchmark::kMillisecond);

// Copies a 256 MiB file into a new temporary file; range(0) picks the way.
void payloadCopy(benchmark::State& state) {
  namespace fs = std::filesystem;
  constexpr std::uint64_t kLength = 256u << 20;
  const fs::path source = fs::temp_directory_path() / "hushmaker-bench-source";
  {
    std::vector<char> block(1 << 20, 'x');
    std::FILE* f = std::fopen(source.c_str(), "wb");
    for (std::uint64_t done = 0; f && done < kLength; done += block.size()) std::fwrite(block.data(), 1, block.size(), f);
    if (f) std::fclose(f);
  }
  auto& files = hush::nativeFileSystem();
  const hush::Path sourcePath(source.native().begin(), source.native().end());
  for (auto _ : state) {
    auto in = files.openForReading(sourcePath);
    auto out = files.createTempBeside(sourcePath);  // discarded when it goes
    if (!in || !out) {
      state.SkipWithError("cannot open the files");
      break;
    }
    const bool copied = state.range(0) == 0 ? out->copyFrom(*in, 0, kLength) : out->File::copyFrom(*in, 0, kLength);
    if (!copied) state.SkipWithError("copy failed");
  }
  fs::remove(source);
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kLength));
  state.SetLabel(state.range(0) == 0 ? "in the kernel" : "through a buffer");
}
BENCHMARK(payloadCopy)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
