#include "cli/Utf8.h"

#include <cstdint>

namespace quillmoor::cli {

namespace {

bool IsContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

} // namespace

bool Utf8ToUtf16(std::string_view in, SecretText16& out, std::size_t& badOffset) {
    out.clear();
    // Never more UTF-16 units than UTF-8 bytes.
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        const auto lead = static_cast<unsigned char>(in[i]);
        if (lead < 0x80) {
            out.push_back(lead);
            ++i;
            continue;
        }
        std::size_t length;
        std::uint32_t value;
        // The second byte's range depends on the lead byte: this is what
        // excludes overlong forms, surrogates and values above U+10FFFF.
        unsigned char low = 0x80, high = 0xBF;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            value = lead & 0x1Fu;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            value = lead & 0x0Fu;
            if (lead == 0xE0)
                low = 0xA0;
            else if (lead == 0xED)
                high = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            value = lead & 0x07u;
            if (lead == 0xF0)
                low = 0x90;
            else if (lead == 0xF4)
                high = 0x8F;
        } else {
            badOffset = i;
            out.Wipe();
            return false;
        }
        for (std::size_t k = 1; k < length; ++k) {
            const std::size_t at = i + k;
            const auto c = at < in.size() ? static_cast<unsigned char>(in[at]) : 0;
            const bool fits =
                at < in.size() && IsContinuation(c) && (k > 1 || (c >= low && c <= high));
            if (!fits) {
                badOffset = at;
                out.Wipe();
                return false;
            }
            value = (value << 6) | (c & 0x3Fu);
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
        value = 0;
        i += length;
    }
    return true;
}

} // namespace quillmoor::cli
