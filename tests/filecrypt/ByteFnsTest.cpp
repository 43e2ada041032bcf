#include <gtest/gtest.h>

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/basBlowfishByteFns.h"
#include "tests/TestUtil.h"
#include "tests/cipher/BlowfishVectors.h"

using namespace quillmoor;
using quillmoor::test::FromHex;
using quillmoor::test::ToHex;

namespace {

int ErrorNumberOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const RuntimeError& e) {
        return e.number();
    }
    return 0;
}

} // namespace

TEST(ByteBlock, PublishedVectorsInByteOrder) {
    for (const auto& v : kEcbVectors) {
        BlowfishState state{};
        ASSERT_TRUE(BlowfishSetKey(state, FromHex(v.key)));
        auto block = FromHex(v.plain);
        BlowfishEncipherByteBlock(state, block);
        EXPECT_EQ(ToHex(block), v.cipher);
        BlowfishDecipherByteBlock(state, block);
        EXPECT_EQ(ToHex(block), v.plain);
    }
}

TEST(ByteBlock, BytesFromIndexEightAreUntouched) {
    BlowfishState state{};
    ASSERT_TRUE(BlowfishSetKey(state, FromHex("0123456789ABCDEF")));
    std::vector<std::uint8_t> block = {1, 2, 3, 4, 5, 6, 7, 8, 0xAA, 0xBB, 0xCC};
    BlowfishEncipherByteBlock(state, block);
    EXPECT_EQ(block[8], 0xAA);
    EXPECT_EQ(block[9], 0xBB);
    EXPECT_EQ(block[10], 0xCC);
    BlowfishDecipherByteBlock(state, block);
    EXPECT_EQ(block, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8, 0xAA, 0xBB, 0xCC}));
}

TEST(ByteBlock, ShortArrayIsSubscriptErrorAndUnchanged) {
    std::vector<std::uint8_t> block = {1, 2, 3, 4, 5, 6, 7};
    EXPECT_EQ(ErrorNumberOf([&] { BlowfishEncipherByteBlock(block); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(ErrorNumberOf([&] { BlowfishDecipherByteBlock(block); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(block, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(XorBytesInPlace, TwiceRestoresAndSourceIsUnchanged) {
    std::vector<std::uint8_t> target = {1, 2, 3, 4, 5, 6, 7, 8};
    const std::vector<std::uint8_t> source = {0xFF, 0x0F, 0xF0, 0, 1, 2, 3, 4};
    XorBytesInPlace(target, source, 8);
    EXPECT_EQ(target, (std::vector<std::uint8_t>{0xFE, 0x0D, 0xF3, 4, 4, 4, 4, 12}));
    XorBytesInPlace(target, source, 8);
    EXPECT_EQ(target, (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 6, 7, 8}));
}

TEST(XorBytesInPlace, CountBoundaries) {
    std::vector<std::uint8_t> target = {1, 2, 3};
    const std::vector<std::uint8_t> source = {1, 1, 1, 1, 1};
    XorBytesInPlace(target, source, 0);
    XorBytesInPlace(target, source, -5);
    EXPECT_EQ(target, (std::vector<std::uint8_t>{1, 2, 3}));
    // The error comes at the first missing index, the bytes before it combined.
    EXPECT_EQ(ErrorNumberOf([&] { XorBytesInPlace(target, source, 5); }), kErrSubscriptOutOfRange);
    EXPECT_EQ(target, (std::vector<std::uint8_t>{0, 3, 2}));
}

TEST(ChainingStep, PublishedCbcVector) {
    BlowfishState state{};
    ASSERT_TRUE(BlowfishSetKey(state, FromHex(kCbcVector.key)));
    const auto plain = FromHex(kCbcVector.plain);
    const auto iv = FromHex(kCbcVector.iv);

    // Block by block with the byte-array operations.
    std::vector<std::uint8_t> chain = iv, out;
    for (std::size_t at = 0; at < plain.size(); at += 8) {
        std::vector<std::uint8_t> block(plain.begin() + static_cast<std::ptrdiff_t>(at),
                                        plain.begin() + static_cast<std::ptrdiff_t>(at) + 8);
        XorBytesInPlace(block, chain, 8);
        BlowfishEncipherByteBlock(state, block);
        chain = block;
        out.insert(out.end(), block.begin(), block.end());
    }
    EXPECT_EQ(ToHex(out), kCbcVector.cipher);

    // And with the buffer routine.
    auto data = plain;
    CbcBlock cbcChain;
    std::copy(iv.begin(), iv.end(), cbcChain.begin());
    CbcEncrypt(state, data, cbcChain);
    EXPECT_EQ(ToHex(data), kCbcVector.cipher);
}

TEST(ChainingStep, EqualPlainBlocksGiveDifferentCipherBlocks) {
    BlowfishState state{};
    ASSERT_TRUE(BlowfishSetKey(state, FromHex("00112233")));
    std::vector<std::uint8_t> data(24, 0x41);
    CbcBlock chain{};
    CbcEncrypt(state, data, chain);
    EXPECT_FALSE(std::equal(data.begin(), data.begin() + 8, data.begin() + 8));
    EXPECT_FALSE(std::equal(data.begin() + 8, data.begin() + 16, data.begin() + 16));
}
