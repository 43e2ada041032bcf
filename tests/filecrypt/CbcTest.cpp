// The fast paths against the plain block transform, on random data.
#include <gtest/gtest.h>

#include "cipher/BlowfishKernels.h"
#include "cipher/basBlowfish.h"
#include "filecrypt/BlowfishCbc.h"
#include "filecrypt/basBlowfishByteFns.h"
#include "tests/TestFiles.h"

using namespace quillmoor;

namespace {

// CBC built from the plain block transform, one block at a time.
std::vector<std::uint8_t> ReferenceEncrypt(const BlowfishState& s, std::vector<std::uint8_t> data,
                                           CbcBlock iv) {
    std::span<std::uint8_t> chain(iv);
    for (std::size_t at = 0; at < data.size(); at += 8) {
        auto block = std::span(data).subspan(at, 8);
        XorBytesInPlace(block, chain, 8);
        BlowfishEncipherByteBlock(s, block);
        std::copy(block.begin(), block.end(), chain.begin());
    }
    return data;
}

BlowfishState KeyedState(std::uint32_t seed) {
    BlowfishState state{};
    EXPECT_TRUE(BlowfishSetKey(state, test::RandomBytes(1 + seed % 56, seed)));
    return state;
}

} // namespace

TEST(Kernels, MatchThePlainTransform) {
    for (std::uint32_t seed = 1; seed <= 8; ++seed) {
        const BlowfishState state = KeyedState(seed);
        std::mt19937 gen(seed);
        for (int i = 0; i < 500; ++i) {
            const std::uint32_t l0 = gen(), r0 = gen();
            std::uint32_t l1 = l0, r1 = r0, l2 = l0, r2 = r0;
            BlowfishEncipherBlock(state, l1, r1);
            kernels::Encipher(state, l2, r2);
            ASSERT_EQ(l1, l2);
            ASSERT_EQ(r1, r2);
            BlowfishDecipherBlock(state, l1, r1);
            kernels::Decipher(state, l2, r2);
            ASSERT_EQ(l1, l2);
            ASSERT_EQ(r1, r2);
        }
        std::uint32_t l[4], r[4], lr[4], rr[4];
        for (int j = 0; j < 4; ++j) {
            l[j] = lr[j] = gen();
            r[j] = rr[j] = gen();
            BlowfishDecipherBlock(state, lr[j], rr[j]);
        }
        kernels::DecipherInterleaved<4>(state, l, r);
        for (int j = 0; j < 4; ++j) {
            EXPECT_EQ(l[j], lr[j]);
            EXPECT_EQ(r[j], rr[j]);
        }
    }
}

TEST(CbcBuffers, MatchTheBlockByBlockReferenceForManySizes) {
    const BlowfishState state = KeyedState(42);
    const CbcBlock iv = {1, 2, 3, 4, 5, 6, 7, 8};
    // One block, the interleaved lanes and their tails, and larger buffers.
    for (std::size_t blocks : {1u, 2u, 3u, 4u, 5u, 7u, 8u, 9u, 15u, 16u, 17u, 31u, 1000u, 4097u}) {
        const auto plain = test::RandomBytes(blocks * 8, static_cast<std::uint32_t>(blocks));
        auto data = plain;
        CbcBlock chain = iv;
        CbcEncrypt(state, data, chain);
        ASSERT_EQ(data, ReferenceEncrypt(state, plain, iv)) << blocks << " blocks";
        EXPECT_TRUE(std::equal(chain.begin(), chain.end(), data.end() - 8));

        CbcBlock back = iv;
        CbcDecrypt(state, data, back);
        ASSERT_EQ(data, plain) << blocks << " blocks";
    }
}

TEST(CbcBuffers, ChunkedEqualsWhole) {
    const BlowfishState state = KeyedState(7);
    const auto plain = test::RandomBytes(8 * 333, 99);
    auto whole = plain;
    CbcBlock wholeChain{};
    CbcEncrypt(state, whole, wholeChain);

    // Split at uneven block counts, the chain carried between calls.
    auto pieces = plain;
    CbcBlock chain{};
    std::size_t at = 0;
    for (std::size_t blocks : {1u, 5u, 3u, 100u, 224u}) {
        CbcEncrypt(state, std::span(pieces).subspan(at, blocks * 8), chain);
        at += blocks * 8;
    }
    ASSERT_EQ(at, pieces.size());
    EXPECT_EQ(pieces, whole);

    CbcBlock back{};
    at = 0;
    for (std::size_t blocks : {3u, 4u, 1u, 300u, 25u}) {
        CbcDecrypt(state, std::span(pieces).subspan(at, blocks * 8), back);
        at += blocks * 8;
    }
    EXPECT_EQ(pieces, plain);
}
