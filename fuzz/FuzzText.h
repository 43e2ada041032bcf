#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Turns fuzz input bytes into UTF-16 text. A byte below 0x80 is one ASCII
// code unit, so hexadecimal digits, blanks and punctuation come up often;
// a higher byte is a marker, and the two bytes after it form any 16-bit unit,
// surrogates included (high byte first). Every text is reachable.
namespace quillmoor::fuzz {

struct TextReader {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    [[nodiscard]] bool AtEnd() const { return at >= size; }

    char16_t NextUnit() {
        const std::uint8_t first = data[at++];
        if (first < 0x80 || size - at < 2)
            return first; // a marker without two bytes after it stands for itself
        const unsigned unit = unsigned{data[at]} << 8 | data[at + 1];
        at += 2;
        return static_cast<char16_t>(unit);
    }

    // Up to `units` code units, fewer when the input runs out.
    std::u16string Text(std::size_t units) {
        std::u16string text;
        while (text.size() < units && !AtEnd())
            text.push_back(NextUnit());
        return text;
    }

    std::u16string Rest() { return Text(SIZE_MAX); }
};

// Reports a broken property and stops; libFuzzer then saves the input.
[[noreturn]] inline void Fail(const char* expectation) {
    std::fprintf(stderr, "fuzz finding: expected that %s\n", expectation);
    std::abort();
}

} // namespace quillmoor::fuzz
