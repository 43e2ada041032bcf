#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "cipher/basBlfArrays.h"

// Cipher-block chaining over whole buffers: the chaining step applied to
// every 8-byte block of a buffer in turn, the chaining block carried in and
// out so a file can be processed chunk by chunk.
namespace quillmoor {

using CbcBlock = std::array<std::uint8_t, 8>;

// data.size() must be a multiple of 8. On return `chain` holds the last
// ciphertext block, ready for the next chunk.
void CbcEncrypt(const BlowfishState& state, std::span<std::uint8_t> data, CbcBlock& chain) noexcept;
void CbcDecrypt(const BlowfishState& state, std::span<std::uint8_t> data, CbcBlock& chain) noexcept;

// One of several independent CBC chains (different files under one key):
// its next bytes, a multiple of 8, and its chaining block, carried in and
// out as CbcEncrypt carries it.
struct CbcChain {
    std::span<std::uint8_t> data;
    CbcBlock chain{};
};

// The most chains enciphered side by side; more are taken in groups.
inline constexpr std::size_t kCbcMaxChainsAtOnce = 8;

// Encrypts each chain's bytes exactly as CbcEncrypt would, one block of
// every chain per step, so one thread runs at the cipher's throughput rather
// than its latency. Chains may differ in length (empty too): one that ends
// drops out and the others go on narrower.
void CbcEncryptChains(const BlowfishState& state, std::span<CbcChain> chains) noexcept;

} // namespace quillmoor
