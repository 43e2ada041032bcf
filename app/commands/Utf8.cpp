#include "app/commands/Utf8.h"

#include <cstdint>

namespace quillmoor::commands {

namespace {

struct LeadByte {
    std::size_t length = 0; // 0: no character starts with it
    char32_t value = 0;
    // The second byte's range depends on the lead byte: this is what
    // excludes overlong forms, surrogates and values above U+10FFFF.
    unsigned char low = 0x80, high = 0xBF;
};

LeadByte Lead(unsigned char lead) {
    if (lead < 0x80)
        return {1, lead};
    if (lead >= 0xC2 && lead <= 0xDF)
        return {2, lead & 0x1Fu};
    if (lead >= 0xE0 && lead <= 0xEF)
        return {3, lead & 0x0Fu, static_cast<unsigned char>(lead == 0xE0 ? 0xA0 : 0x80),
                static_cast<unsigned char>(lead == 0xED ? 0x9F : 0xBF)};
    if (lead >= 0xF0 && lead <= 0xF4)
        return {4, lead & 0x07u, static_cast<unsigned char>(lead == 0xF0 ? 0x90 : 0x80),
                static_cast<unsigned char>(lead == 0xF4 ? 0x8F : 0xBF)};
    return {};
}

} // namespace

std::size_t Utf8CharacterAt(std::string_view text, std::size_t i, char32_t& value,
                            std::size_t& bad) {
    const LeadByte lead = Lead(static_cast<unsigned char>(text[i]));
    if (lead.length == 0) {
        bad = i;
        return 0;
    }
    value = lead.value;
    for (std::size_t k = 1; k < lead.length; ++k) {
        const std::size_t at = i + k;
        const auto c = at < text.size() ? static_cast<unsigned char>(text[at]) : 0;
        const bool fits =
            at < text.size() && (c & 0xC0) == 0x80 && (k > 1 || (c >= lead.low && c <= lead.high));
        if (!fits) {
            bad = at;
            return 0;
        }
        value = (value << 6) | (c & 0x3Fu);
    }
    return lead.length;
}

bool Utf8ToUtf16(std::string_view in, SecretText16& out, std::size_t& badOffset) {
    out.clear();
    out.reserve(in.size()); // never more UTF-16 units than UTF-8 bytes
    char32_t value = 0;
    for (std::size_t i = 0, length = 0; i < in.size(); i += length) {
        length = Utf8CharacterAt(in, i, value, badOffset);
        if (length == 0) {
            out.Wipe();
            return false;
        }
        if (value >= 0x10000) {
            value -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(value));
        }
    }
    value = 0;
    return true;
}

} // namespace quillmoor::commands
