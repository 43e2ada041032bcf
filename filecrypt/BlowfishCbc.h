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

} // namespace quillmoor
