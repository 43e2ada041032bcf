#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quillmoor::test {

inline std::vector<std::uint8_t> FromHex(std::string_view hex) {
    auto nibble = [](char c) -> std::uint8_t {
        if (c >= '0' && c <= '9')
            return static_cast<std::uint8_t>(c - '0');
        return static_cast<std::uint8_t>((c | 0x20) - 'a' + 10);
    };
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        out.push_back(static_cast<std::uint8_t>(nibble(hex[i]) << 4 | nibble(hex[i + 1])));
    return out;
}

inline std::string ToHex(const std::vector<std::uint8_t>& bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string out;
    for (std::uint8_t b : bytes) {
        out += kDigits[b >> 4];
        out += kDigits[b & 15];
    }
    return out;
}

inline std::u16string U16(std::string_view ascii) { return {ascii.begin(), ascii.end()}; }

} // namespace quillmoor::test
