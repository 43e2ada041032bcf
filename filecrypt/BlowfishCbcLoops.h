#pragma once

// The CBC loops, included by BlowfishCbc.cpp and again by a file compiled
// for a newer instruction set; everything here is static for that reason.

#include <algorithm>
#include <cstdint>

#include "cipher/BlowfishKernels.h"
#include "cipher/basUnsignedWord.h"
#include "filecrypt/BlowfishCbc.h"

namespace quillmoor::cbc {

static inline std::uint32_t LoadBig(const std::uint8_t* p) noexcept {
    return WordFromBytes(p[0], p[1], p[2], p[3]);
}

static inline void StoreBig(std::uint8_t* p, std::uint32_t w) noexcept {
    WordToBytes(w, p[0], p[1], p[2], p[3]);
}

constexpr int kLanes = 8; // blocks deciphered side by side

static inline void CbcEncryptLoop(const BlowfishState& state, std::span<std::uint8_t> data,
                                  CbcBlock& chain) noexcept {
    std::uint32_t cl = LoadBig(chain.data()), cr = LoadBig(chain.data() + 4);
    std::uint8_t* p = data.data();
    for (std::uint8_t* end = p + data.size(); p != end; p += 8) {
        cl ^= LoadBig(p);
        cr ^= LoadBig(p + 4);
        kernels::Encipher(state, cl, cr);
        StoreBig(p, cl);
        StoreBig(p + 4, cr);
    }
    StoreBig(chain.data(), cl);
    StoreBig(chain.data() + 4, cr);
}

// W chains, all with at least `blocks` blocks left from byte `from`.
template <int W>
static inline void CbcEncryptSideBySide(const BlowfishState& state, CbcChain* const* chains,
                                        std::size_t from, std::size_t blocks) noexcept {
    std::uint8_t* p[W];
    std::uint32_t l[W], r[W];
    for (int j = 0; j < W; ++j) {
        p[j] = chains[j]->data.data() + from;
        l[j] = LoadBig(chains[j]->chain.data());
        r[j] = LoadBig(chains[j]->chain.data() + 4);
    }
    for (; blocks > 0; --blocks) {
        for (int j = 0; j < W; ++j) {
            l[j] ^= LoadBig(p[j]);
            r[j] ^= LoadBig(p[j] + 4);
        }
        kernels::EncipherInterleaved<W>(state, l, r);
        for (int j = 0; j < W; ++j) {
            StoreBig(p[j], l[j]);
            StoreBig(p[j] + 4, r[j]);
            p[j] += 8;
        }
    }
    for (int j = 0; j < W; ++j) {
        StoreBig(chains[j]->chain.data(), l[j]);
        StoreBig(chains[j]->chain.data() + 4, r[j]);
    }
}

// Up to kCbcMaxChainsAtOnce chains: side by side while every one has blocks
// left, then the ones left go on narrower.
static inline void CbcEncryptGroup(const BlowfishState& state, std::span<CbcChain> group) noexcept {
    std::size_t from = 0;
    for (;;) {
        CbcChain* active[kCbcMaxChainsAtOnce];
        std::size_t width = 0, blocks = SIZE_MAX;
        for (CbcChain& c : group)
            if (c.data.size() > from) {
                active[width++] = &c;
                blocks = std::min(blocks, (c.data.size() - from) / 8);
            }
        switch (width) {
        case 0: return;
        case 1: // the one-chain loop, as fast as a file alone
            CbcEncryptLoop(state, active[0]->data.subspan(from), active[0]->chain);
            return;
        case 2: CbcEncryptSideBySide<2>(state, active, from, blocks); break;
        case 3: CbcEncryptSideBySide<3>(state, active, from, blocks); break;
        case 4: CbcEncryptSideBySide<4>(state, active, from, blocks); break;
        case 5: CbcEncryptSideBySide<5>(state, active, from, blocks); break;
        case 6: CbcEncryptSideBySide<6>(state, active, from, blocks); break;
        case 7: CbcEncryptSideBySide<7>(state, active, from, blocks); break;
        default: CbcEncryptSideBySide<8>(state, active, from, blocks); break;
        }
        from += blocks * 8;
    }
}

static inline void CbcEncryptChainsLoop(const BlowfishState& state,
                                        std::span<CbcChain> chains) noexcept {
    static_assert(kCbcMaxChainsAtOnce == 8, "CbcEncryptGroup has a case for each width");
    for (std::size_t at = 0; at < chains.size(); at += kCbcMaxChainsAtOnce)
        CbcEncryptGroup(state,
                        chains.subspan(at, std::min(kCbcMaxChainsAtOnce, chains.size() - at)));
}

static inline void CbcDecryptLoop(const BlowfishState& state, std::span<std::uint8_t> data,
                                  CbcBlock& chain) noexcept {
    std::uint32_t cl = LoadBig(chain.data()), cr = LoadBig(chain.data() + 4);
    std::uint8_t* p = data.data();
    std::size_t blocks = data.size() / 8;
    // No chain runs through decryption: each block needs only the ciphertext
    // before it, so several are deciphered at once.
    for (; blocks >= kLanes; blocks -= kLanes, p += 8 * kLanes) {
        std::uint32_t l[kLanes], r[kLanes], prevL[kLanes], prevR[kLanes];
        for (int j = 0; j < kLanes; ++j) {
            l[j] = LoadBig(p + 8 * j);
            r[j] = LoadBig(p + 8 * j + 4);
        }
        prevL[0] = cl;
        prevR[0] = cr;
        for (int j = 1; j < kLanes; ++j) {
            prevL[j] = l[j - 1];
            prevR[j] = r[j - 1];
        }
        cl = l[kLanes - 1];
        cr = r[kLanes - 1];
        kernels::DecipherInterleaved<kLanes>(state, l, r);
        for (int j = 0; j < kLanes; ++j) {
            StoreBig(p + 8 * j, l[j] ^ prevL[j]);
            StoreBig(p + 8 * j + 4, r[j] ^ prevR[j]);
        }
    }
    for (; blocks > 0; --blocks, p += 8) {
        std::uint32_t l = LoadBig(p), r = LoadBig(p + 4);
        const std::uint32_t nextL = l, nextR = r;
        kernels::Decipher(state, l, r);
        StoreBig(p, l ^ cl);
        StoreBig(p + 4, r ^ cr);
        cl = nextL;
        cr = nextR;
    }
    StoreBig(chain.data(), cl);
    StoreBig(chain.data() + 4, cr);
}

} // namespace quillmoor::cbc
