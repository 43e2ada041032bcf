#include <gtest/gtest.h>

#include "common/RuntimeError.h"
#include "digest/CMD5.h"
#include "tests/TestUtil.h"

namespace quillmoor {

// Reaches the private word operations of CMD5.
struct CMD5Access {
    static std::uint32_t ShiftLeft(std::uint32_t v, int s) { return CMD5::ShiftWordLeft(v, s); }
    static std::uint32_t ShiftRight(std::uint32_t v, int s) { return CMD5::ShiftWordRight(v, s); }
    static std::uint32_t Rotate(std::uint32_t v, int s) { return CMD5::RotateWordLeft(v, s); }
    static std::vector<std::uint32_t> Pad(const std::u16string& t) {
        const auto words = CMD5::PadMessageWords(t);
        return {words.begin(), words.end()};
    }
    static std::string Hex(std::uint32_t w) {
        SecretText hex;
        CMD5::AppendWordHex(hex, w);
        return {hex.begin(), hex.end()};
    }
};

} // namespace quillmoor

using namespace quillmoor;
using quillmoor::test::U16;

namespace {

std::string Md5(const std::u16string& text) { return CMD5().MD5(text); }

struct Rfc1321Case {
    const char* digest;
    const char* message;
};

// RFC 1321, appendix A.5.
constexpr Rfc1321Case kRfc1321[] = {
    {"d41d8cd98f00b204e9800998ecf8427e", ""},
    {"0cc175b9c0f1b6a831c399e269772661", "a"},
    {"900150983cd24fb0d6963f7d28e17f72", "abc"},
    {"f96b697d7cb7938d525a2f31aaf161d0", "message digest"},
    {"c3fcd3d76192e4007dfb496cca67e13b", "abcdefghijklmnopqrstuvwxyz"},
    {"d174ab98d277d9f5a5611c2c9f419d9f",
     "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789"},
    {"57edf4a22be3c955ac49da2e2107b67a",
     "1234567890123456789012345678901234567890123456789012345678901234567890123456789"
     "0"},
};

} // namespace

TEST(CMD5, Rfc1321Suite) {
    for (const auto& c : kRfc1321)
        EXPECT_EQ(Md5(U16(c.message)), c.digest) << "message: " << c.message;
}

TEST(CMD5, NonAsciiUnitsContributeTheirLowByte) {
    // Reference digests of the bytes alone, computed by an independent MD5.
    EXPECT_EQ(Md5(u"\u00e9"), "3406877694691ddd1dfb0aca54681407");     // E9
    EXPECT_EQ(Md5(u"\u20ac"), "20a7f30fb9f8e145422b66b3d4f4da70");     // AC, not UTF-8
    EXPECT_EQ(Md5(u"\u0100"), "93b885adfe0da089cdf634904fd59f71");     // 00
    EXPECT_EQ(Md5(u"\U0001F600"), "c151c5fa0f424dbf71e349896c45ec16"); // D83D DE00: 3D 00
    EXPECT_EQ(Md5(u"caf\u00e9 \u20ac\u0100"), "44ed2e700a5b80c7393afcfab30fd8af");
}

TEST(CMD5, BlanksAndControlCharactersAreNotTrimmed) {
    EXPECT_EQ(Md5(u" \t\u0001x "), "92cb0b284b4c8ab5a1b35335992f2c9b");
}

TEST(CMD5, BlockBoundaries) {
    EXPECT_EQ(Md5(std::u16string(55, u'a')), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(Md5(std::u16string(56, u'a')), "3b0c8ac703f828b04c6c197006d17218");
    EXPECT_EQ(Md5(std::u16string(119, u'a')), "8a7bd0732ed6a28ce75f6dabc90e1613");
    EXPECT_EQ(Md5(std::u16string(120, u'a')), "5f61c0ccad4cac44c75ff505e1f1e537");
    EXPECT_EQ(CMD5Access::Pad(std::u16string(55, u'a')).size(), 16u);
    EXPECT_EQ(CMD5Access::Pad(std::u16string(56, u'a')).size(), 32u);
    EXPECT_EQ(CMD5Access::Pad(std::u16string(119, u'a')).size(), 32u);
    EXPECT_EQ(CMD5Access::Pad(std::u16string(120, u'a')).size(), 48u);
}

TEST(CMD5, EmptyTextPadsToOneBlock) {
    const auto words = CMD5Access::Pad(u"");
    ASSERT_EQ(words.size(), 16u);
    EXPECT_EQ(words[0], 0x80u);
    for (std::size_t i = 1; i < 16; ++i)
        EXPECT_EQ(words[i], 0u) << i;
}

TEST(CMD5, PaddingPutsBytesLittleEndianAndTheBitLength) {
    const auto words = CMD5Access::Pad(u"abcde");
    EXPECT_EQ(words[0], 0x64636261u);
    EXPECT_EQ(words[1], 0x00008065u);
    EXPECT_EQ(words[14], 40u);
    EXPECT_EQ(words[15], 0u);
}

TEST(CMD5, ResultIsLowercaseAndKeepsLeadingZeros) {
    EXPECT_EQ(CMD5Access::Hex(0x0A0B0C05u), "050c0b0a");
    EXPECT_EQ(CMD5Access::Hex(0xFEDCBA98u), "98badcfe");
}

TEST(CMD5WordOperations, ShiftsAndRotation) {
    EXPECT_EQ(CMD5Access::ShiftLeft(0x12345678u, 0), 0x12345678u);
    EXPECT_EQ(CMD5Access::ShiftLeft(0x00000001u, 31), 0x80000000u);
    EXPECT_EQ(CMD5Access::ShiftLeft(0xFFFFFFFEu, 31), 0u);
    EXPECT_EQ(CMD5Access::ShiftLeft(0x40000001u, 1), 0x80000002u);
    EXPECT_EQ(CMD5Access::ShiftLeft(0xC0000001u, 4), 0x00000010u);
    EXPECT_EQ(CMD5Access::ShiftRight(0x80000000u, 31), 1u);
    EXPECT_EQ(CMD5Access::ShiftRight(0x80000000u, 1), 0x40000000u); // logical, not arithmetic
    EXPECT_EQ(CMD5Access::ShiftRight(0xFFFFFFFFu, 4), 0x0FFFFFFFu);
    EXPECT_EQ(CMD5Access::ShiftRight(0x12345678u, 0), 0x12345678u);
    EXPECT_EQ(CMD5Access::Rotate(0x80000001u, 1), 0x00000003u);
    EXPECT_EQ(CMD5Access::Rotate(0x12345678u, 8), 0x34567812u);
}

TEST(CMD5WordOperations, ShiftCountOutsideRangeIsOverflow) {
    for (int bad : {-1, 32, 100}) {
        try {
            (void)CMD5Access::ShiftLeft(1, bad);
            ADD_FAILURE() << "no error for count " << bad;
        } catch (const RuntimeError& e) {
            EXPECT_EQ(e.number(), kErrOverflow);
        }
        EXPECT_THROW((void)CMD5Access::ShiftRight(1, bad), RuntimeError);
    }
    EXPECT_THROW((void)CMD5Access::Rotate(1, 0), RuntimeError); // 32 - 0 is out of range
}
