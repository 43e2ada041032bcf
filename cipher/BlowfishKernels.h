#pragma once

#include <cstdint>

#include "cipher/basBlfArrays.h"

// Fast forms of the block transform for the file loops. They compute exactly
// what BlowfishEncipherBlock and BlowfishDecipherBlock compute (the tests hold
// them to it), but with the 16 rounds unrolled and the half swap folded into
// the alternation of two variables. Table-driven, so not constant-time.
namespace quillmoor::kernels {

[[gnu::always_inline]] inline std::uint32_t F(const BlowfishState& s, std::uint32_t x) noexcept {
    return ((s.S[0][x >> 24] + s.S[1][(x >> 16) & 0xFF]) ^ s.S[2][(x >> 8) & 0xFF]) +
           s.S[3][x & 0xFF];
}

[[gnu::always_inline]] inline void Encipher(const BlowfishState& s, std::uint32_t& left,
                                            std::uint32_t& right) noexcept {
    const std::uint32_t* P = s.P;
    std::uint32_t a = left ^ P[0];
    std::uint32_t b = right;
    b ^= F(s, a) ^ P[1];
    a ^= F(s, b) ^ P[2];
    b ^= F(s, a) ^ P[3];
    a ^= F(s, b) ^ P[4];
    b ^= F(s, a) ^ P[5];
    a ^= F(s, b) ^ P[6];
    b ^= F(s, a) ^ P[7];
    a ^= F(s, b) ^ P[8];
    b ^= F(s, a) ^ P[9];
    a ^= F(s, b) ^ P[10];
    b ^= F(s, a) ^ P[11];
    a ^= F(s, b) ^ P[12];
    b ^= F(s, a) ^ P[13];
    a ^= F(s, b) ^ P[14];
    b ^= F(s, a) ^ P[15];
    a ^= F(s, b) ^ P[16];
    left = b ^ P[17];
    right = a;
}

[[gnu::always_inline]] inline void Decipher(const BlowfishState& s, std::uint32_t& left,
                                            std::uint32_t& right) noexcept {
    const std::uint32_t* P = s.P;
    std::uint32_t a = left ^ P[17];
    std::uint32_t b = right;
    b ^= F(s, a) ^ P[16];
    a ^= F(s, b) ^ P[15];
    b ^= F(s, a) ^ P[14];
    a ^= F(s, b) ^ P[13];
    b ^= F(s, a) ^ P[12];
    a ^= F(s, b) ^ P[11];
    b ^= F(s, a) ^ P[10];
    a ^= F(s, b) ^ P[9];
    b ^= F(s, a) ^ P[8];
    a ^= F(s, b) ^ P[7];
    b ^= F(s, a) ^ P[6];
    a ^= F(s, b) ^ P[5];
    b ^= F(s, a) ^ P[4];
    a ^= F(s, b) ^ P[3];
    b ^= F(s, a) ^ P[2];
    a ^= F(s, b) ^ P[1];
    left = b ^ P[0];
    right = a;
}

// Deciphers N independent blocks round by round, so that the S-box loads of
// one block overlap the dependent chain of the others.
template <int N>
[[gnu::always_inline]] inline void DecipherInterleaved(const BlowfishState& s,
                                                       std::uint32_t (&left)[N],
                                                       std::uint32_t (&right)[N]) noexcept {
    std::uint32_t a[N], b[N];
    for (int j = 0; j < N; ++j) {
        a[j] = left[j] ^ s.P[17];
        b[j] = right[j];
    }
    for (int i = 16; i >= 2; i -= 2) {
        for (int j = 0; j < N; ++j)
            b[j] ^= F(s, a[j]) ^ s.P[i];
        for (int j = 0; j < N; ++j)
            a[j] ^= F(s, b[j]) ^ s.P[i - 1];
    }
    for (int j = 0; j < N; ++j) {
        left[j] = b[j] ^ s.P[0];
        right[j] = a[j];
    }
}

} // namespace quillmoor::kernels
