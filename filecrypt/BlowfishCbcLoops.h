#pragma once

// The CBC loops, included by BlowfishCbc.cpp and again by a file compiled
// for a newer instruction set; everything here is static for that reason.

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
