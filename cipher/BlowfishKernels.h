#pragma once

#include <cstdint>

#if defined(__BMI__)
#include <immintrin.h>
#endif

#include "cipher/basBlfArrays.h"

// Fast forms of the block transform for the file loops. They compute exactly
// what BlowfishEncipherBlock and BlowfishDecipherBlock compute (the tests hold
// them to it), but with the 16 rounds unrolled and the half swap folded into
// the alternation of two variables. The P word is folded into the half before
// F is ready, so only one XOR follows the S-box sum on the serial path.
// Table-driven, so not constant-time.
//
// The functions are static: a file compiled for a newer instruction set
// includes them too, and must not lend its copies to the others.
namespace quillmoor::kernels {

[[gnu::always_inline]] static inline std::uint32_t SecondByte(std::uint32_t x) noexcept {
#if defined(__BMI__)
    // One instruction instead of a shift and a mask: a cycle off every round.
    return _bextr_u32(x, 16, 8);
#else
    return (x >> 16) & 0xFF;
#endif
}

[[gnu::always_inline]] static inline std::uint32_t F(const BlowfishState& s,
                                                     std::uint32_t x) noexcept {
    return ((s.S[0][x >> 24] + s.S[1][SecondByte(x)]) ^ s.S[2][(x >> 8) & 0xFF]) + s.S[3][x & 0xFF];
}

[[gnu::always_inline]] static inline void Encipher(const BlowfishState& s, std::uint32_t& left,
                                                   std::uint32_t& right) noexcept {
    const std::uint32_t* P = s.P;
    std::uint32_t a = left ^ P[0];
    std::uint32_t b = right;
    b = (b ^ P[1]) ^ F(s, a);
    a = (a ^ P[2]) ^ F(s, b);
    b = (b ^ P[3]) ^ F(s, a);
    a = (a ^ P[4]) ^ F(s, b);
    b = (b ^ P[5]) ^ F(s, a);
    a = (a ^ P[6]) ^ F(s, b);
    b = (b ^ P[7]) ^ F(s, a);
    a = (a ^ P[8]) ^ F(s, b);
    b = (b ^ P[9]) ^ F(s, a);
    a = (a ^ P[10]) ^ F(s, b);
    b = (b ^ P[11]) ^ F(s, a);
    a = (a ^ P[12]) ^ F(s, b);
    b = (b ^ P[13]) ^ F(s, a);
    a = (a ^ P[14]) ^ F(s, b);
    b = (b ^ P[15]) ^ F(s, a);
    a = (a ^ P[16]) ^ F(s, b);
    left = b ^ P[17];
    right = a;
}

[[gnu::always_inline]] static inline void Decipher(const BlowfishState& s, std::uint32_t& left,
                                                   std::uint32_t& right) noexcept {
    const std::uint32_t* P = s.P;
    std::uint32_t a = left ^ P[17];
    std::uint32_t b = right;
    b = (b ^ P[16]) ^ F(s, a);
    a = (a ^ P[15]) ^ F(s, b);
    b = (b ^ P[14]) ^ F(s, a);
    a = (a ^ P[13]) ^ F(s, b);
    b = (b ^ P[12]) ^ F(s, a);
    a = (a ^ P[11]) ^ F(s, b);
    b = (b ^ P[10]) ^ F(s, a);
    a = (a ^ P[9]) ^ F(s, b);
    b = (b ^ P[8]) ^ F(s, a);
    a = (a ^ P[7]) ^ F(s, b);
    b = (b ^ P[6]) ^ F(s, a);
    a = (a ^ P[5]) ^ F(s, b);
    b = (b ^ P[4]) ^ F(s, a);
    a = (a ^ P[3]) ^ F(s, b);
    b = (b ^ P[2]) ^ F(s, a);
    a = (a ^ P[1]) ^ F(s, b);
    left = b ^ P[0];
    right = a;
}

// Enciphers N independent blocks round by round: the blocks of N CBC chains
// (different files), none waiting for another, so the S-box loads of one
// block overlap the dependent chain of the others.
template <int N>
[[gnu::always_inline]] static inline void EncipherInterleaved(const BlowfishState& s,
                                                              std::uint32_t (&left)[N],
                                                              std::uint32_t (&right)[N]) noexcept {
    std::uint32_t a[N], b[N];
    for (int j = 0; j < N; ++j) {
        a[j] = left[j] ^ s.P[0];
        b[j] = right[j];
    }
    for (int i = 1; i <= 15; i += 2) {
        for (int j = 0; j < N; ++j)
            b[j] = (b[j] ^ s.P[i]) ^ F(s, a[j]);
        for (int j = 0; j < N; ++j)
            a[j] = (a[j] ^ s.P[i + 1]) ^ F(s, b[j]);
    }
    for (int j = 0; j < N; ++j) {
        left[j] = b[j] ^ s.P[17];
        right[j] = a[j];
    }
}

// Deciphers N independent blocks round by round, so that the S-box loads of
// one block overlap the dependent chain of the others.
template <int N>
[[gnu::always_inline]] static inline void DecipherInterleaved(const BlowfishState& s,
                                                              std::uint32_t (&left)[N],
                                                              std::uint32_t (&right)[N]) noexcept {
    std::uint32_t a[N], b[N];
    for (int j = 0; j < N; ++j) {
        a[j] = left[j] ^ s.P[17];
        b[j] = right[j];
    }
    for (int i = 16; i >= 2; i -= 2) {
        for (int j = 0; j < N; ++j)
            b[j] = (b[j] ^ s.P[i]) ^ F(s, a[j]);
        for (int j = 0; j < N; ++j)
            a[j] = (a[j] ^ s.P[i - 1]) ^ F(s, b[j]);
    }
    for (int j = 0; j < N; ++j) {
        left[j] = b[j] ^ s.P[0];
        right[j] = a[j];
    }
}

} // namespace quillmoor::kernels
