#pragma once

#include <cstdint>
#include <span>

#include "cipher/basBlfArrays.h"

// The block transform over 8 bytes held in a byte array (bytes 0-3 the left
// word, 4-7 the right, most significant byte first), and the XOR of the
// chaining step, one block at a time. They are kept as the reference the
// tests hold the file loops to; the file routines themselves
// go through CbcEncrypt/CbcDecrypt (filecrypt/BlowfishCbc.h).
namespace quillmoor {

// Error 9 when the array holds fewer than 8 bytes; nothing is changed then.
// Bytes from index 8 on are never touched.
void BlowfishEncipherByteBlock(std::span<std::uint8_t> block);
void BlowfishDecipherByteBlock(std::span<std::uint8_t> block);
void BlowfishEncipherByteBlock(const BlowfishState& state, std::span<std::uint8_t> block);
void BlowfishDecipherByteBlock(const BlowfishState& state, std::span<std::uint8_t> block);

// target[i] ^= source[i] for i in [0, count). A count of 0 or less changes
// nothing; an index past either array raises error 9 when it is reached, the
// bytes before it already combined.
void XorBytesInPlace(std::span<std::uint8_t> target, std::span<const std::uint8_t> source,
                     std::int32_t count);

} // namespace quillmoor
