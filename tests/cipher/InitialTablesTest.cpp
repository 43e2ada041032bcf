#include <gtest/gtest.h>

#include <cstring>

#include "cipher/basBlowfish.h"

using namespace quillmoor;

namespace {

// Fixed-point number: word 0 holds the integer part, words 1.. the fraction,
// most significant first, 32 bits a word.
using Fixed = std::vector<std::uint32_t>;

void DivideInPlace(Fixed& x, std::uint32_t divisor) {
    std::uint64_t remainder = 0;
    for (auto& word : x) {
        const std::uint64_t cur = (remainder << 32) | word;
        word = static_cast<std::uint32_t>(cur / divisor);
        remainder = cur % divisor;
    }
}

void AddInPlace(Fixed& x, const Fixed& y, bool subtract) {
    std::int64_t carry = 0;
    for (std::size_t i = x.size(); i-- > 0;) {
        std::int64_t sum =
            std::int64_t{x[i]} + (subtract ? -std::int64_t{y[i]} : std::int64_t{y[i]}) + carry;
        carry = 0;
        if (sum < 0) {
            sum += std::int64_t{1} << 32;
            carry = -1;
        } else if (sum >= (std::int64_t{1} << 32)) {
            sum -= std::int64_t{1} << 32;
            carry = 1;
        }
        x[i] = static_cast<std::uint32_t>(sum);
    }
}

bool IsZero(const Fixed& x) {
    for (auto w : x)
        if (w)
            return false;
    return true;
}

// factor * arctan(1/x) by its Taylor series.
Fixed ArctanInverse(std::uint32_t x, std::uint32_t factor, std::size_t words) {
    Fixed power(words, 0), sum(words, 0);
    power[0] = factor;
    DivideInPlace(power, x);
    sum = power;
    for (std::uint32_t k = 1; !IsZero(power); ++k) {
        DivideInPlace(power, x * x);
        Fixed term = power;
        DivideInPlace(term, 2 * k + 1);
        AddInPlace(sum, term, k % 2 == 1);
    }
    return sum;
}

// The hexadecimal digits of pi from Machin's formula, pi = 16 atan(1/5) - 4 atan(1/239),
// computed here from scratch so that no typo in the constant tables can survive.
Fixed PiFraction(std::size_t fractionWords) {
    const std::size_t words = fractionWords + 1 + 4; // integer part and guard words
    Fixed pi = ArctanInverse(5, 16, words);
    AddInPlace(pi, ArctanInverse(239, 4, words), true);
    return Fixed(pi.begin() + 1, pi.begin() + 1 + static_cast<std::ptrdiff_t>(fractionWords));
}

} // namespace

TEST(InitialTables, AreTheHexDigitsOfPi) {
    const Fixed pi = PiFraction(1042);
    const auto& p = BlowfishInitialP();
    const auto& s = BlowfishInitialS();
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(p[i], pi[static_cast<std::size_t>(i)]) << "P[" << i << "]";
    for (int box = 0; box < 4; ++box)
        for (int e = 0; e < 256; ++e)
            ASSERT_EQ(s[box][e],
                      pi[18 + 256 * static_cast<std::size_t>(box) + static_cast<std::size_t>(e)])
                << "S[" << box << "][" << e << "]";
}

TEST(InitialTables, Anchors) {
    BlowfishState state{};
    BlowfishLoadInitialTables(state);
    EXPECT_EQ(state.P[0], 0x243F6A88u);
    EXPECT_EQ(state.P[1], 0x85A308D3u);
    EXPECT_EQ(state.P[17], 0x8979FB1Bu);
    EXPECT_EQ(state.S[0][0], 0xD1310BA6u);
    EXPECT_EQ(state.S[1][0], 0x4B7A70E9u);
    EXPECT_EQ(state.S[2][0], 0xE93D5A68u);
    EXPECT_EQ(state.S[3][0], 0x3A39CE37u);
    EXPECT_EQ(state.S[3][255], 0x3AC372E6u);
    for (const auto& box : state.S)
        for (auto word : box)
            ASSERT_NE(word, 0u);
}

TEST(InitialTables, LoadReplacesEveryWordOfAKeyedState) {
    BlowfishState keyed{};
    ASSERT_TRUE(BlowfishSetKey(keyed, std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
    BlowfishLoadInitialTables(keyed);
    BlowfishState fresh{};
    BlowfishLoadInitialTables(fresh);
    EXPECT_EQ(std::memcmp(&keyed, &fresh, sizeof keyed), 0);
}
