#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "cipher/basBlfArrays.h"

// Blowfish key setup and block transform: standard 16 rounds, keys of 1 to 56
// bytes. A plain table-driven implementation; it is not constant-time.
namespace quillmoor {

inline constexpr std::size_t kBlowfishMaxKeyBytes = 56;

// Accepts 1 to 56 key bytes and rebuilds the state from them; refuses an
// absent, empty or longer key and leaves the state exactly as it was.
[[nodiscard]] bool BlowfishSetKey(const std::optional<std::vector<std::uint8_t>>& key);
[[nodiscard]] bool BlowfishSetKey(BlowfishState& state, std::span<const std::uint8_t> key);

// Rebuilds the whole state from the initial tables and the first n key bytes
// (1 <= n <= 56, n <= key.size()); the caller checks the bounds.
void BlowfishKeySchedule(BlowfishState& state, std::span<const std::uint8_t> key, std::size_t n);

// Zeros the state so that no key schedule outlives its use.
void BlowfishClearState(BlowfishState& state) noexcept;

// The block transform written out one round at a time. The key
// schedule uses it; file data goes through CbcEncrypt/CbcDecrypt
// (filecrypt/BlowfishCbc.h), whose unrolled loops the tests hold to it.
std::uint32_t BlowfishRoundFunction(const BlowfishState& state, std::uint32_t x) noexcept;
std::uint32_t BlowfishRoundFunction(std::uint32_t x) noexcept;

void BlowfishEncipherBlock(const BlowfishState& state, std::uint32_t& left,
                           std::uint32_t& right) noexcept;
void BlowfishDecipherBlock(const BlowfishState& state, std::uint32_t& left,
                           std::uint32_t& right) noexcept;

// The process-wide forms work on blowfishState().
void BlowfishEncipherBlock(std::uint32_t& left, std::uint32_t& right) noexcept;
void BlowfishDecipherBlock(std::uint32_t& left, std::uint32_t& right) noexcept;

} // namespace quillmoor
