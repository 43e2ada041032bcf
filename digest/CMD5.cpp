#include "digest/CMD5.h"

#include <array>
#include <climits>

#include "common/RuntimeError.h"

namespace quillmoor {

namespace {

// T[i] = floor(2^32 * |sin(i + 1)|), RFC 1321 section 3.4.
constexpr std::array<std::uint32_t, 64> kSineTable = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613, 0xfd469501,
    0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193, 0xa679438e, 0x49b40821,
    0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d, 0x02441453, 0xd8a1e681, 0xe7d3fbc8,
    0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed, 0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a,
    0xfffa3942, 0x8771f681, 0x6d9d6122, 0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70,
    0x289b7ec6, 0xeaa127fa, 0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665,
    0xf4292244, 0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb, 0xeb86d391,
};

constexpr int kShifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};

// Which message word operation i of a round reads.
constexpr int MessageIndex(int round, int i) noexcept {
    switch (round) {
    case 0: return i;
    case 1: return (1 + 5 * i) % 16;
    case 2: return (5 + 3 * i) % 16;
    default: return (7 * i) % 16;
    }
}

void CheckShiftCount(int count) {
    if (count < 0 || count > 31)
        throw RuntimeError(kErrOverflow, "Overflow: shift count " + std::to_string(count));
}

} // namespace

std::uint32_t CMD5::ShiftWordLeft(std::uint32_t value, int count) {
    CheckShiftCount(count);
    return value << count;
}

std::uint32_t CMD5::ShiftWordRight(std::uint32_t value, int count) {
    CheckShiftCount(count);
    return value >> count;
}

std::uint32_t CMD5::RotateWordLeft(std::uint32_t value, int count) {
    return ShiftWordLeft(value, count) | ShiftWordRight(value, 32 - count);
}

std::uint32_t CMD5::AddWords(std::uint32_t x, std::uint32_t y) noexcept { return x + y; }

std::uint32_t CMD5::MixF(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
    return (x & y) | (~x & z);
}
std::uint32_t CMD5::MixG(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
    return (x & z) | (y & ~z);
}
std::uint32_t CMD5::MixH(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
    return x ^ y ^ z;
}
std::uint32_t CMD5::MixI(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept {
    return y ^ (x | ~z);
}

void CMD5::StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, int s, std::uint32_t t) {
    a = AddWords(b, RotateWordLeft(AddWords(a, AddWords(AddWords(MixF(b, c, d), x), t)), s));
}
void CMD5::StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, int s, std::uint32_t t) {
    a = AddWords(b, RotateWordLeft(AddWords(a, AddWords(AddWords(MixG(b, c, d), x), t)), s));
}
void CMD5::StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, int s, std::uint32_t t) {
    a = AddWords(b, RotateWordLeft(AddWords(a, AddWords(AddWords(MixH(b, c, d), x), t)), s));
}
void CMD5::StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                 std::uint32_t x, int s, std::uint32_t t) {
    a = AddWords(b, RotateWordLeft(AddWords(a, AddWords(AddWords(MixI(b, c, d), x), t)), s));
}

SecretVector<std::uint32_t> CMD5::PadMessageWords(std::u16string_view text) {
    // The length arithmetic is 32-bit signed; a longer text has no digest.
    if (text.size() > static_cast<std::size_t>(INT_MAX - 8))
        throw RuntimeError(kErrOverflow, "Overflow: text too long for MD5");
    const auto length = static_cast<std::uint32_t>(text.size());
    const std::size_t wordCount = ((length + 8) / 64 + 1) * 16;
    SecretVector<std::uint32_t> words(wordCount, 0);
    for (std::uint32_t i = 0; i < length; ++i) {
        const std::uint32_t byte = text[i] & 0xFFu; // the high byte of the unit is dropped
        words[i / 4] |= ShiftWordLeft(byte, static_cast<int>(8 * (i % 4)));
    }
    words[length / 4] |= ShiftWordLeft(0x80, static_cast<int>(8 * (length % 4)));
    words[wordCount - 2] = ShiftWordLeft(length, 3);
    words[wordCount - 1] = ShiftWordRight(length, 29);
    return words;
}

void CMD5::AppendWordHex(SecretText& out, std::uint32_t word) {
    static constexpr char kDigits[] = "0123456789abcdef";
    for (int p = 0; p < 4; ++p) {
        const std::uint32_t byte = ShiftWordRight(word, 8 * p) & 0xFFu;
        out += kDigits[byte >> 4];
        out += kDigits[byte & 0xF];
    }
}

std::string CMD5::MD5(const std::u16string& text) const {
    const SecretText digest = Digest(text);
    return std::string(digest.begin(), digest.end());
}

SecretText CMD5::Digest(std::u16string_view text) const {
    using Step = void (*)(std::uint32_t&, std::uint32_t, std::uint32_t, std::uint32_t,
                          std::uint32_t, int, std::uint32_t);
    static constexpr Step kSteps[4] = {&StepF, &StepG, &StepH, &StepI};

    // The words hold the password, the registers are as good as the digest.
    const SecretVector<std::uint32_t> words = PadMessageWords(text);
    struct Registers {
        std::array<std::uint32_t, 4> v, saved;
    };
    SecretObject<Registers> registers({{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476}, {}});
    auto& [v, saved] = *registers;
    for (std::size_t k = 0; k < words.size(); k += 16) {
        saved = v;
        for (int op = 0; op < 64; ++op) {
            const int round = op / 16, i = op % 16;
            // The updated word cycles a, d, c, b; the other three follow it in order.
            const int target = (4 - op % 4) % 4;
            kSteps[round](v[target], v[(target + 1) % 4], v[(target + 2) % 4], v[(target + 3) % 4],
                          words[k + MessageIndex(round, i)], kShifts[round][op % 4],
                          kSineTable[op]);
        }
        for (int j = 0; j < 4; ++j)
            v[j] = AddWords(v[j], saved[j]);
    }
    SecretText digest;
    digest.reserve(32);
    for (const std::uint32_t word : v)
        AppendWordHex(digest, word);
    return digest;
}

} // namespace quillmoor
