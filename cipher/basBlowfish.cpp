#include "cipher/basBlowfish.h"

#include <utility>

#include "cipher/basUnsignedWord.h"
#include "common/SecureWipe.h"

namespace quillmoor {

std::uint32_t BlowfishRoundFunction(const BlowfishState& s, std::uint32_t x) noexcept {
    std::uint8_t a, b, c, d;
    WordToBytes(x, a, b, c, d);
    return WordAdd(WordAdd(s.S[0][a], s.S[1][b]) ^ s.S[2][c], s.S[3][d]);
}

std::uint32_t BlowfishRoundFunction(std::uint32_t x) noexcept {
    return BlowfishRoundFunction(blowfishState(), x);
}

void BlowfishEncipherBlock(const BlowfishState& s, std::uint32_t& left,
                           std::uint32_t& right) noexcept {
    std::uint32_t l = left, r = right;
    for (int i = 0; i < 16; ++i) {
        l ^= s.P[i];
        r ^= BlowfishRoundFunction(s, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    right = r ^ s.P[16];
    left = l ^ s.P[17];
}

void BlowfishDecipherBlock(const BlowfishState& s, std::uint32_t& left,
                           std::uint32_t& right) noexcept {
    std::uint32_t l = left, r = right;
    for (int i = 17; i >= 2; --i) {
        l ^= s.P[i];
        r ^= BlowfishRoundFunction(s, l);
        std::swap(l, r);
    }
    std::swap(l, r);
    right = r ^ s.P[1];
    left = l ^ s.P[0];
}

void BlowfishEncipherBlock(std::uint32_t& left, std::uint32_t& right) noexcept {
    BlowfishEncipherBlock(blowfishState(), left, right);
}

void BlowfishDecipherBlock(std::uint32_t& left, std::uint32_t& right) noexcept {
    BlowfishDecipherBlock(blowfishState(), left, right);
}

void BlowfishKeySchedule(BlowfishState& s, std::span<const std::uint8_t> key, std::size_t n) {
    BlowfishLoadInitialTables(s);

    // Key bytes are taken cyclically, 72 in all, the first of each four the
    // most significant byte of the word.
    std::size_t j = 0;
    for (std::uint32_t& p : s.P) {
        std::uint32_t w = 0;
        for (int k = 0; k < 4; ++k) {
            w = WordShiftLeft8(w) | key[j];
            if (++j == n)
                j = 0;
        }
        p ^= w;
    }

    // Each encipherment runs on from the last and sees every entry replaced so far.
    std::uint32_t left = 0, right = 0;
    for (int i = 0; i < 18; i += 2) {
        BlowfishEncipherBlock(s, left, right);
        s.P[i] = left;
        s.P[i + 1] = right;
    }
    for (auto& box : s.S) {
        for (int e = 0; e < 256; e += 2) {
            BlowfishEncipherBlock(s, left, right);
            box[e] = left;
            box[e + 1] = right;
        }
    }
}

bool BlowfishSetKey(BlowfishState& state, std::span<const std::uint8_t> key) {
    if (key.empty() || key.size() > kBlowfishMaxKeyBytes)
        return false;
    // Built aside and copied in, so a failure can never leave a half-keyed state.
    try {
        KeySchedule fresh;
        BlowfishKeySchedule(*fresh, key, key.size());
        state = *fresh;
        return true;
    } catch (...) {
        return false;
    }
}

bool BlowfishSetKey(const std::optional<std::vector<std::uint8_t>>& key) {
    if (!key)
        return false;
    return BlowfishSetKey(blowfishState(), *key);
}

void BlowfishClearState(BlowfishState& state) noexcept { SecureWipe(&state, sizeof state); }

} // namespace quillmoor
