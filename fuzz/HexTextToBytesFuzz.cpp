// HexTextToBytes on arbitrary UTF-16 text: it never fails, gives
// ceil(len / 2) bytes (nothing at all only for the empty text), and agrees
// with a second, deliberately plain model of the pair rules written here.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "convert/basConvert.h"
#include "fuzz/FuzzText.h"

namespace {

// The model does it the long way: copy, pad, cut into pairs as strings,
// strip blanks from the pair, then read digits from the left.
std::uint8_t ModelPair(std::u16string pair) {
    std::u16string kept;
    for (char16_t c : pair)
        if (c != u' ' && c != u'\t' && c != u'\n')
            kept += c;
    static const std::u16string kLower = u"0123456789abcdef";
    static const std::u16string kUpper = u"0123456789ABCDEF";
    unsigned value = 0;
    for (char16_t c : kept) {
        std::size_t digit = kLower.find(c);
        if (digit == std::u16string::npos)
            digit = kUpper.find(c);
        if (digit == std::u16string::npos)
            break;
        value = value * 16 + static_cast<unsigned>(digit);
    }
    return static_cast<std::uint8_t>(value);
}

std::optional<std::vector<std::uint8_t>> Model(const std::u16string& text) {
    std::u16string aligned = text;
    if (aligned.size() % 2 == 1)
        aligned.insert(aligned.begin(), u'0');
    if (aligned.empty())
        return std::nullopt;
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i < aligned.size(); i += 2)
        bytes.push_back(ModelPair(aligned.substr(i, 2)));
    return bytes;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillmoor::fuzz::TextReader reader{data, size};
    const std::u16string text = reader.Rest();
    const auto bytes = quillmoor::HexTextToBytes(text);

    if (bytes.has_value() == text.empty())
        quillmoor::fuzz::Fail("the result is absent exactly for the empty text");
    if (bytes && bytes->size() != (text.size() + 1) / 2)
        quillmoor::fuzz::Fail("the result has ceil(length / 2) bytes");
    if (bytes != Model(text))
        quillmoor::fuzz::Fail("the result agrees with the model");
    return 0;
}
