#pragma once

// The loop of WipeRandom, built once for the baseline processor (Wipe.cpp)
// and, on x86-64, once more for AVX2 (WipeRandomAvx2.cpp). Plain C++ written
// so that GCC and Clang vectorise it: every statement works on all lanes.
// Everything is static, so each build keeps its own copy of the loop.
#include <cstring>

#include "app/commands/Wipe.h"

namespace quillmoor::commands::wipe {

static inline std::uint32_t Rotl(std::uint32_t x, int k) noexcept {
    return (x << k) | (x >> (32 - k));
}

static inline void RandomStepsLoop(WipeRandom::Lanes& lanes, std::uint8_t* out,
                                   std::size_t steps) noexcept {
    constexpr std::size_t kLanes = WipeRandom::kLanes;
    // A local copy, so the state stays in registers instead of memory.
    WipeRandom::Lanes s = lanes;
    for (; steps > 0; --steps, out += WipeRandom::kStepBytes) {
        std::uint32_t draw[kLanes];
        for (std::size_t i = 0; i < kLanes; ++i) {
            draw[i] = Rotl(s.s0[i] + s.s3[i], 7) + s.s0[i];
            const std::uint32_t t = s.s1[i] << 9;
            s.s2[i] ^= s.s0[i];
            s.s3[i] ^= s.s1[i];
            s.s1[i] ^= s.s2[i];
            s.s0[i] ^= s.s3[i];
            s.s2[i] ^= t;
            s.s3[i] = Rotl(s.s3[i], 11);
        }
        std::uint16_t fraction[2 * kLanes];
        std::memcpy(fraction, draw, sizeof draw);
        for (std::size_t k = 0; k < 2 * kLanes; ++k)
            out[k] = static_cast<std::uint8_t>(fraction[k] * 255u >> 16);
    }
    lanes = s;
}

} // namespace quillmoor::commands::wipe
