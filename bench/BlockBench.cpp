// The block transform in isolation: the plain reference, the chained CBC
// encryption loop (serial: each block waits for the one before), CBC
// encryption of several chains side by side, and CBC decryption with blocks
// deciphered side by side. Reports bytes per second and time-stamp-counter
// cycles per byte.
#include <benchmark/benchmark.h>

#include <vector>

#if defined(__x86_64__)
#include <x86intrin.h>
#endif

#include "cipher/basBlowfish.h"
#include "filecrypt/BlowfishCbc.h"

using namespace quillmoor;

namespace {

constexpr std::size_t kBufferBytes = 64 * 1024; // stays in L2, so memory is left out

const BlowfishState& KeyedState() {
    static const BlowfishState state = [] {
        BlowfishState s{};
        const std::vector<std::uint8_t> key = {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF,
                                               0xF0, 0xE1, 0xD2, 0xC3, 0xB4, 0xA5, 0x96, 0x87};
        (void)BlowfishSetKey(s, key); // a 16-byte key is always taken
        return s;
    }();
    return state;
}

std::uint64_t Cycles() {
#if defined(__x86_64__)
    return __rdtsc();
#else
    return 0;
#endif
}

template <typename Body>
void Measure(benchmark::State& state, std::size_t bytesPerIteration, Body body) {
    const std::uint64_t start = Cycles();
    for (auto _ : state)
        body();
    const std::uint64_t cycles = Cycles() - start;
    const auto bytes =
        static_cast<double>(state.iterations()) * static_cast<double>(bytesPerIteration);
    state.SetBytesProcessed(static_cast<std::int64_t>(bytes));
    state.counters["cycles/byte"] = static_cast<double>(cycles) / bytes;
}

void ReferenceBlock(benchmark::State& state) {
    const BlowfishState& s = KeyedState();
    std::uint32_t left = 1, right = 2;
    Measure(state, 8, [&] {
        BlowfishEncipherBlock(s, left, right);
        benchmark::DoNotOptimize(left);
    });
}

void CbcEncryptChained(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(kBufferBytes, 0x5A);
    CbcBlock chain{};
    Measure(state, buffer.size(), [&] {
        CbcEncrypt(KeyedState(), buffer, chain);
        benchmark::ClobberMemory();
    });
}

// range(0) chains side by side, 64 KiB in all.
void CbcEncryptChainsSideBySide(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    std::vector<std::uint8_t> buffer(kBufferBytes, 0x5A);
    std::vector<CbcChain> chains(count);
    const std::size_t each = kBufferBytes / count / 8 * 8;
    for (std::size_t i = 0; i < count; ++i)
        chains[i].data = std::span(buffer).subspan(i * each, each);
    Measure(state, each * count, [&] {
        CbcEncryptChains(KeyedState(), chains);
        benchmark::ClobberMemory();
    });
}

void CbcDecryptInterleaved(benchmark::State& state) {
    std::vector<std::uint8_t> buffer(kBufferBytes, 0x5A);
    CbcBlock chain{};
    Measure(state, buffer.size(), [&] {
        CbcDecrypt(KeyedState(), buffer, chain);
        benchmark::ClobberMemory();
    });
}

void SetKey(benchmark::State& state) {
    const std::vector<std::uint8_t> key(16, 0x42);
    BlowfishState s{};
    for (auto _ : state) {
        (void)BlowfishSetKey(s, key); // a 16-byte key is always taken
        benchmark::DoNotOptimize(s);
    }
}

} // namespace

BENCHMARK(ReferenceBlock);
BENCHMARK(CbcEncryptChained);
BENCHMARK(CbcEncryptChainsSideBySide)->DenseRange(1, 8);
BENCHMARK(CbcDecryptInterleaved);
BENCHMARK(SetKey);
BENCHMARK_MAIN();
