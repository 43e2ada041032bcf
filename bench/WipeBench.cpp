// The wipe's random generator alone, on one batch of the size the wipe
// writes at a time: the portable loop and the one chosen for this processor.
#include <benchmark/benchmark.h>

#include <vector>

#include "app/commands/Wipe.h"

using quillmoor::commands::WipeRandom;

namespace {

constexpr std::size_t kBatchBytes =
    quillmoor::commands::kWipeBlocksPerWrite * quillmoor::commands::kWipeBlockBytes;

void Generator(benchmark::State& state, WipeRandom::Kernel kernel) {
    WipeRandom random(1, kernel);
    std::vector<std::uint8_t> batch(kBatchBytes);
    for (auto _ : state) {
        random.Fill(batch);
        benchmark::DoNotOptimize(batch.data());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * kBatchBytes));
    // What the three random sub-passes of a 128 MiB wipe cost in this loop.
    state.counters["per 384 MiB"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kBatchBytes) / (384.0 * 1024 * 1024),
        benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

} // namespace

BENCHMARK_CAPTURE(Generator, portable, WipeRandom::Kernel::Portable);
BENCHMARK_CAPTURE(Generator, best, WipeRandom::Kernel::Best);
BENCHMARK_MAIN();
