#include <gtest/gtest.h>

#include "convert/basConvert.h"
#include "tests/TestUtil.h"

using namespace quillmoor;
using quillmoor::test::U16;

namespace {

std::vector<std::uint8_t> Bytes(std::u16string_view text) {
    auto result = HexTextToBytes(text);
    EXPECT_TRUE(result.has_value()) << "absent for a non-empty text";
    return result.value_or(std::vector<std::uint8_t>{});
}

} // namespace

TEST(HexTextToBytes, EmptyTextGivesTheAbsentArray) {
    EXPECT_FALSE(HexTextToBytes(u"").has_value());
}

TEST(HexTextToBytes, EvenTextConvertsPairByPair) {
    EXPECT_EQ(Bytes(u"0123456789abcdef"),
              (std::vector<std::uint8_t>{0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}));
    EXPECT_EQ(Bytes(u"FF00"), (std::vector<std::uint8_t>{0xFF, 0x00}));
    // The MD5 button's 32 digits: 16 bytes, the leftmost pair first.
    EXPECT_EQ(Bytes(u"d41d8cd98f00b204e9800998ecf8427e"),
              (std::vector<std::uint8_t>{0xD4, 0x1D, 0x8C, 0xD9, 0x8F, 0x00, 0xB2, 0x04, 0xE9, 0x80,
                                         0x09, 0x98, 0xEC, 0xF8, 0x42, 0x7E}));
}

TEST(HexTextToBytes, CaseDoesNotMatter) { EXPECT_EQ(Bytes(u"aBcDeF"), Bytes(u"AbCdEf")); }

TEST(HexTextToBytes, OddTextGetsZeroInFront) {
    EXPECT_EQ(Bytes(u"A"), (std::vector<std::uint8_t>{0x0A}));
    EXPECT_EQ(Bytes(u"123"), (std::vector<std::uint8_t>{0x01, 0x23}));
    EXPECT_EQ(Bytes(u"g"), (std::vector<std::uint8_t>{0x00}));
}

TEST(HexTextToBytes, NonDigitsEndAPairOrCountAsZero) {
    EXPECT_EQ(Bytes(u"5g"), (std::vector<std::uint8_t>{0x05})); // digit, then stop
    EXPECT_EQ(Bytes(u"g5"), (std::vector<std::uint8_t>{0x00})); // no digit first
    EXPECT_EQ(Bytes(u"-1"), (std::vector<std::uint8_t>{0x00})); // no sign
    EXPECT_EQ(Bytes(u"1-"), (std::vector<std::uint8_t>{0x01}));
    EXPECT_EQ(Bytes(u"&H"), (std::vector<std::uint8_t>{0x00})); // no second prefix
    EXPECT_EQ(Bytes(u"1."), (std::vector<std::uint8_t>{0x01})); // no fraction
    EXPECT_EQ(Bytes(u".1"), (std::vector<std::uint8_t>{0x00}));
    EXPECT_EQ(Bytes(u"+1"), (std::vector<std::uint8_t>{0x00}));
    EXPECT_EQ(Bytes(u"\u00e91"), (std::vector<std::uint8_t>{0x00}));
}

TEST(HexTextToBytes, BlanksAreDroppedWhereverTheyStand) {
    EXPECT_EQ(Bytes(u" 5"), (std::vector<std::uint8_t>{0x05}));
    EXPECT_EQ(Bytes(u"5 "), (std::vector<std::uint8_t>{0x05}));
    EXPECT_EQ(Bytes(u"\t7"), (std::vector<std::uint8_t>{0x07}));
    EXPECT_EQ(Bytes(u"7\n"), (std::vector<std::uint8_t>{0x07}));
    EXPECT_EQ(Bytes(u"  "), (std::vector<std::uint8_t>{0x00}));
    // Only space, tab and line feed are blanks: carriage return ends the digits.
    EXPECT_EQ(Bytes(u"\r7"), (std::vector<std::uint8_t>{0x00}));
    // "00 11 22" pairs as "00", " 1", "1 ", "22".
    EXPECT_EQ(Bytes(u"00 11 22"), (std::vector<std::uint8_t>{0x00, 0x01, 0x01, 0x22}));
}

TEST(HexTextToBytes, CountsUtf16CodeUnits) {
    // U+1F600 is two code units, so the text has three and gets a "0" in front.
    const std::u16string text = u"\U0001F600A";
    ASSERT_EQ(text.size(), 3u);
    EXPECT_EQ(Bytes(text), (std::vector<std::uint8_t>{0x00, 0x00}));
}

TEST(IsPlainHexText, AcceptsOnlyDigits) {
    EXPECT_TRUE(IsPlainHexText(u"0123456789abcdefABCDEF"));
    EXPECT_FALSE(IsPlainHexText(u""));
    EXPECT_FALSE(IsPlainHexText(u"00 11"));
    EXPECT_FALSE(IsPlainHexText(u"password"));
}
