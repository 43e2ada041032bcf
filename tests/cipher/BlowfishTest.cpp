#include <gtest/gtest.h>

#include <cstring>

#include "cipher/basBlowfish.h"
#include "cipher/basUnsignedWord.h"
#include "tests/TestUtil.h"
#include "tests/cipher/BlowfishVectors.h"

using namespace quillmoor;
using quillmoor::test::FromHex;

namespace {

std::vector<std::uint8_t> EncipherEcb(const BlowfishVector& v) {
    BlowfishState state{};
    const auto key = FromHex(v.key);
    EXPECT_TRUE(BlowfishSetKey(state, key));
    auto block = FromHex(v.plain);
    std::uint32_t left = WordFromBytes(block[0], block[1], block[2], block[3]);
    std::uint32_t right = WordFromBytes(block[4], block[5], block[6], block[7]);
    BlowfishEncipherBlock(state, left, right);
    WordToBytes(left, block[0], block[1], block[2], block[3]);
    WordToBytes(right, block[4], block[5], block[6], block[7]);
    return block;
}

bool SameState(const BlowfishState& a, const BlowfishState& b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

// Restores the process-wide state after a test that changes it.
struct GlobalStateGuard {
    BlowfishState saved = blowfishState();
    ~GlobalStateGuard() { blowfishState() = saved; }
};

} // namespace

TEST(BlowfishVectors, EcbEightByteKeys) {
    ASSERT_EQ(std::size(kEcbVectors), 34u);
    for (const auto& v : kEcbVectors)
        EXPECT_EQ(test::ToHex(EncipherEcb(v)), v.cipher) << "key " << v.key;
}

TEST(BlowfishVectors, VariableKeyLength) {
    ASSERT_EQ(std::size(kVariableKeyVectors), 24u);
    for (const auto& v : kVariableKeyVectors)
        EXPECT_EQ(test::ToHex(EncipherEcb(v)), v.cipher) << "key " << v.key;
}

TEST(BlowfishVectors, DecipherInvertsEncipher) {
    for (const auto& v : kEcbVectors) {
        BlowfishState state{};
        ASSERT_TRUE(BlowfishSetKey(state, FromHex(v.key)));
        const auto c = FromHex(v.cipher);
        std::uint32_t left = WordFromBytes(c[0], c[1], c[2], c[3]);
        std::uint32_t right = WordFromBytes(c[4], c[5], c[6], c[7]);
        BlowfishDecipherBlock(state, left, right);
        const auto p = FromHex(v.plain);
        EXPECT_EQ(left, WordFromBytes(p[0], p[1], p[2], p[3]));
        EXPECT_EQ(right, WordFromBytes(p[4], p[5], p[6], p[7]));
    }
}

TEST(BlowfishKeySetup, AcceptsOneToFiftySixBytes) {
    for (std::size_t n : {1u, 5u, 8u, 56u}) {
        BlowfishState state{};
        EXPECT_TRUE(BlowfishSetKey(state, std::vector<std::uint8_t>(n, 0x5A))) << n;
        EXPECT_NE(state.P[0], 0u);
    }
}

TEST(BlowfishKeySetup, RefusedKeysLeaveTheStateBitForBit) {
    GlobalStateGuard guard;
    BlowfishClearState(blowfishState());
    const BlowfishState zeros{};
    EXPECT_FALSE(BlowfishSetKey(std::nullopt));
    EXPECT_FALSE(BlowfishSetKey(std::vector<std::uint8_t>{}));
    EXPECT_FALSE(BlowfishSetKey(std::vector<std::uint8_t>(57, 1)));
    EXPECT_TRUE(SameState(blowfishState(), zeros)) << "unkeyed state changed";

    ASSERT_TRUE(BlowfishSetKey(std::vector<std::uint8_t>{1, 2, 3}));
    const BlowfishState keyed = blowfishState();
    EXPECT_FALSE(BlowfishSetKey(std::nullopt));
    EXPECT_FALSE(BlowfishSetKey(std::vector<std::uint8_t>{}));
    EXPECT_FALSE(BlowfishSetKey(std::vector<std::uint8_t>(57, 1)));
    EXPECT_TRUE(SameState(blowfishState(), keyed)) << "keyed state changed";
}

TEST(BlowfishKeySetup, SameKeySameStateWhateverCameBetween) {
    const std::vector<std::uint8_t> key = {9, 8, 7, 6, 5};
    BlowfishState first{}, second{};
    ASSERT_TRUE(BlowfishSetKey(first, key));
    ASSERT_TRUE(BlowfishSetKey(second, std::vector<std::uint8_t>(56, 0xEE)));
    ASSERT_TRUE(BlowfishSetKey(second, key));
    EXPECT_TRUE(SameState(first, second));
}

TEST(BlowfishKeySetup, KeyBytesAreTakenCyclically) {
    // A 1-byte key b mixes every P entry with bbbb; a 2-byte key abab... equals
    // the 4-byte key abab, which the cyclic rule must make identical.
    BlowfishState one{}, four{};
    ASSERT_TRUE(BlowfishSetKey(one, std::vector<std::uint8_t>{0x3C}));
    ASSERT_TRUE(BlowfishSetKey(four, std::vector<std::uint8_t>(4, 0x3C)));
    EXPECT_TRUE(SameState(one, four));
    BlowfishState two{}, eight{};
    ASSERT_TRUE(BlowfishSetKey(two, std::vector<std::uint8_t>{0xA1, 0xB2}));
    ASSERT_TRUE(BlowfishSetKey(eight, std::vector<std::uint8_t>{0xA1, 0xB2, 0xA1, 0xB2}));
    EXPECT_TRUE(SameState(two, eight));
    // 56 bytes use bytes 0..15 twice: 72 bytes = key + key[0..15] must match a
    // 56-byte key, but a 57-byte key is refused.
    std::vector<std::uint8_t> key56(56);
    for (std::size_t i = 0; i < key56.size(); ++i)
        key56[i] = static_cast<std::uint8_t>(i * 7 + 1);
    BlowfishState a{};
    ASSERT_TRUE(BlowfishSetKey(a, key56));
    BlowfishState b{};
    BlowfishKeySchedule(b, key56, 56);
    EXPECT_TRUE(SameState(a, b));
}

TEST(BlowfishTransform, UnkeyedEncipherSwapsTheHalves) {
    const BlowfishState zeros{};
    std::uint32_t left = 0x01234567, right = 0x89ABCDEF;
    BlowfishEncipherBlock(zeros, left, right);
    EXPECT_EQ(left, 0x89ABCDEFu);
    EXPECT_EQ(right, 0x01234567u);
    BlowfishDecipherBlock(zeros, left, right);
    EXPECT_EQ(left, 0x01234567u);
    EXPECT_EQ(right, 0x89ABCDEFu);
}

TEST(BlowfishTransform, ProcessWideFormsUseTheProcessWideState) {
    GlobalStateGuard guard;
    const auto& v = kEcbVectors[4];
    ASSERT_TRUE(BlowfishSetKey(FromHex(v.key)));
    const auto p = FromHex(v.plain);
    std::uint32_t left = WordFromBytes(p[0], p[1], p[2], p[3]);
    std::uint32_t right = WordFromBytes(p[4], p[5], p[6], p[7]);
    BlowfishEncipherBlock(left, right);
    const auto c = FromHex(v.cipher);
    EXPECT_EQ(left, WordFromBytes(c[0], c[1], c[2], c[3]));
    EXPECT_EQ(right, WordFromBytes(c[4], c[5], c[6], c[7]));
    BlowfishDecipherBlock(left, right);
    EXPECT_EQ(left, WordFromBytes(p[0], p[1], p[2], p[3]));
}

TEST(BlowfishTransform, DecipherInvertsEncipherForManyWords) {
    BlowfishState state{};
    ASSERT_TRUE(BlowfishSetKey(state, std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
    std::uint32_t seed = 12345;
    for (int i = 0; i < 1000; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const std::uint32_t l0 = seed, r0 = seed * 2654435761u;
        std::uint32_t l = l0, r = r0;
        BlowfishEncipherBlock(state, l, r);
        BlowfishDecipherBlock(state, l, r);
        ASSERT_EQ(l, l0);
        ASSERT_EQ(r, r0);
    }
}

TEST(BlowfishRoundFunction, UsesTheBoxesInByteOrder) {
    BlowfishState state{};
    state.S[0][0x12] = 0x10000000;
    state.S[1][0x34] = 0x00000003;
    state.S[2][0x56] = 0x00000001;
    state.S[3][0x78] = 0xFFFFFFFF;
    // ((0x10000000 + 3) ^ 1) + 0xFFFFFFFF, modulo 2^32.
    EXPECT_EQ(BlowfishRoundFunction(state, 0x12345678), 0x10000001u);
}

TEST(UnsignedWord, PackingIsBigEndian) {
    EXPECT_EQ(WordFromBytes(1, 2, 3, 4), 0x01020304u);
    std::uint8_t b0, b1, b2, b3;
    WordToBytes(0x80000000u, b0, b1, b2, b3);
    EXPECT_EQ((std::vector<std::uint8_t>{b0, b1, b2, b3}),
              (std::vector<std::uint8_t>{0x80, 0, 0, 0}));
    WordToBytes(WordFromBytes(0xDE, 0xAD, 0xBE, 0xEF), b0, b1, b2, b3);
    EXPECT_EQ((std::vector<std::uint8_t>{b0, b1, b2, b3}),
              (std::vector<std::uint8_t>{0xDE, 0xAD, 0xBE, 0xEF}));
}
