#include "convert/basConvert.h"

namespace quillmoor {

namespace {

int HexDigitValue(char16_t c) noexcept {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    return -1;
}

bool IsDroppedBlank(char16_t c) noexcept { return c == u' ' || c == u'\t' || c == u'\n'; }

// The value of "&H" followed by the pair: blanks are dropped wherever they
// stand, then digits are read from the left until the first non-digit.
std::uint8_t PairValue(char16_t first, char16_t second) noexcept {
    unsigned value = 0;
    for (char16_t c : {first, second}) {
        if (IsDroppedBlank(c))
            continue;
        const int digit = HexDigitValue(c);
        if (digit < 0)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint8_t>(value);
}

} // namespace

SecretBytes HexTextToKeyBytes(std::u16string_view text) {
    const bool odd = text.size() % 2 != 0;
    const std::size_t n = (text.size() + 1) / 2;
    SecretBytes bytes(n);
    // With an odd length the first pair is "0" and the first character.
    auto at = [&](std::size_t i) -> char16_t {
        return odd ? (i == 0 ? u'0' : text[i - 1]) : text[i];
    };
    for (std::size_t k = 0; k < n; ++k)
        bytes[k] = PairValue(at(2 * k), at(2 * k + 1));
    return bytes;
}

std::optional<std::vector<std::uint8_t>> HexTextToBytes(std::u16string_view text) {
    if (text.empty())
        return std::nullopt;
    const SecretBytes bytes = HexTextToKeyBytes(text);
    return std::vector<std::uint8_t>(bytes.begin(), bytes.end());
}

bool IsPlainHexText(std::u16string_view text) noexcept {
    if (text.empty())
        return false;
    for (char16_t c : text)
        if (HexDigitValue(c) < 0)
            return false;
    return true;
}

} // namespace quillmoor
