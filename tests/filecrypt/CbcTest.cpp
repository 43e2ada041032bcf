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
        std::uint32_t el[5], er[5], elr[5], err[5];
        for (int j = 0; j < 5; ++j) {
            el[j] = elr[j] = gen();
            er[j] = err[j] = gen();
            BlowfishEncipherBlock(state, elr[j], err[j]);
        }
        kernels::EncipherInterleaved<5>(state, el, er);
        for (int j = 0; j < 5; ++j) {
            EXPECT_EQ(el[j], elr[j]);
            EXPECT_EQ(er[j], err[j]);
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

namespace {

// Block counts of chains enciphered side by side: every width, chains that
// end at different blocks (so the rest go on narrower), empty ones, and more
// than run at once.
std::vector<std::vector<std::size_t>> ChainLengthCases() {
    std::vector<std::vector<std::size_t>> cases = {
        {},
        {0},
        {0, 0, 0},
        {1},
        {33, 0, 0, 0},
        {1, 1000, 2, 0, 999, 3, 500, 7},
        {64, 63, 65, 1, 128, 127, 2, 0},
        {4097, 1, 1, 1, 1, 1, 1, 1, 1, 2},
    };
    for (std::size_t n = 1; n <= 11; ++n) {
        cases.emplace_back(n, 40); // all equal
        std::vector<std::size_t> staggered, reversed;
        for (std::size_t i = 0; i < n; ++i) {
            staggered.push_back(3 * i); // the first one empty
            reversed.push_back(3 * (n - i) + 1);
        }
        cases.push_back(staggered);
        cases.push_back(reversed);
    }
    return cases;
}

} // namespace

TEST(CbcChains, EachChainMatchesItsOwnLoop) {
    const BlowfishState state = KeyedState(11);
    std::uint32_t seed = 0;
    for (const auto& blocks : ChainLengthCases()) {
        std::vector<std::vector<std::uint8_t>> data, expected;
        std::vector<CbcChain> chains(blocks.size());
        std::vector<CbcBlock> expectedChains;
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            data.push_back(test::RandomBytes(blocks[i] * 8, ++seed));
            const auto iv = test::RandomBytes(8, ++seed);
            std::copy(iv.begin(), iv.end(), chains[i].chain.begin());
            expected.push_back(data.back());
            expectedChains.push_back(chains[i].chain);
            CbcEncrypt(state, expected.back(), expectedChains.back());
        }
        for (std::size_t i = 0; i < blocks.size(); ++i)
            chains[i].data = data[i];
        CbcEncryptChains(state, chains);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            ASSERT_EQ(data[i], expected[i]) << "chain " << i << " of " << blocks.size();
            ASSERT_EQ(chains[i].chain, expectedChains[i])
                << "chain " << i << " of " << blocks.size();
        }
    }
}

TEST(CbcChains, CarryTheirChainsAcrossCalls) {
    const BlowfishState state = KeyedState(12);
    std::vector<std::vector<std::uint8_t>> whole, pieces;
    std::vector<CbcBlock> wholeChains(6);
    for (std::uint32_t i = 0; i < 6; ++i) {
        whole.push_back(test::RandomBytes(8 * 90, 200 + i));
        pieces.push_back(whole.back());
        CbcEncrypt(state, whole.back(), wholeChains[i]);
    }
    std::vector<CbcChain> chains(6);
    // Every chain cut at blocks of its own: 0, 3 + 7i, 40 + 5i, 90.
    const auto cut = [](std::size_t step, std::size_t i) -> std::size_t {
        const std::size_t blocks[] = {0, 3 + 7 * i, 40 + 5 * i, 90};
        return 8 * blocks[step];
    };
    for (std::size_t step = 0; step < 3; ++step) {
        for (std::size_t i = 0; i < 6; ++i)
            chains[i].data =
                std::span(pieces[i]).subspan(cut(step, i), cut(step + 1, i) - cut(step, i));
        CbcEncryptChains(state, chains);
    }
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(pieces[i], whole[i]) << i;
        EXPECT_EQ(chains[i].chain, wholeChains[i]) << i;
    }
}
