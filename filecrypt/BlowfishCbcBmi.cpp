// The CBC loops compiled with BMI (bit-field extract), chosen at run time by
// BlowfishCbc.cpp on processors that have it.
#include "filecrypt/BlowfishCbcLoops.h"

namespace quillmoor {

void CbcEncryptBmi(const BlowfishState& state, std::span<std::uint8_t> data,
                   CbcBlock& chain) noexcept {
    cbc::CbcEncryptLoop(state, data, chain);
}

void CbcDecryptBmi(const BlowfishState& state, std::span<std::uint8_t> data,
                   CbcBlock& chain) noexcept {
    cbc::CbcDecryptLoop(state, data, chain);
}

void CbcEncryptChainsBmi(const BlowfishState& state, std::span<CbcChain> chains) noexcept {
    cbc::CbcEncryptChainsLoop(state, chains);
}

} // namespace quillmoor
