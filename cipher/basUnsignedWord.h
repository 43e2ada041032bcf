#pragma once

#include <cstdint>

// Unsigned 32-bit word arithmetic and the big-endian word/byte packing the
// cipher uses: the first byte is the most significant.
namespace quillmoor {

constexpr std::uint32_t WordFromBytes(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2,
                                      std::uint8_t b3) noexcept {
    return (std::uint32_t{b0} << 24) | (std::uint32_t{b1} << 16) | (std::uint32_t{b2} << 8) |
           std::uint32_t{b3};
}

constexpr void WordToBytes(std::uint32_t w, std::uint8_t& b0, std::uint8_t& b1, std::uint8_t& b2,
                           std::uint8_t& b3) noexcept {
    b0 = static_cast<std::uint8_t>(w >> 24);
    b1 = static_cast<std::uint8_t>(w >> 16);
    b2 = static_cast<std::uint8_t>(w >> 8);
    b3 = static_cast<std::uint8_t>(w);
}

constexpr std::uint32_t WordAdd(std::uint32_t a, std::uint32_t b) noexcept { return a + b; }

constexpr std::uint32_t WordShiftLeft8(std::uint32_t w) noexcept { return w << 8; }

} // namespace quillmoor
