#include "filecrypt/BlowfishCbc.h"

#include "filecrypt/BlowfishCbcLoops.h"

namespace quillmoor {

#if QUILLMOOR_HAVE_BMI_KERNELS
// Built with BMI in BlowfishCbcBmi.cpp; used where the processor has it.
void CbcEncryptBmi(const BlowfishState& state, std::span<std::uint8_t> data,
                   CbcBlock& chain) noexcept;
void CbcDecryptBmi(const BlowfishState& state, std::span<std::uint8_t> data,
                   CbcBlock& chain) noexcept;
void CbcEncryptChainsBmi(const BlowfishState& state, std::span<CbcChain> chains) noexcept;

namespace {
const bool kHasBmi = __builtin_cpu_supports("bmi");
} // namespace
#endif

void CbcEncrypt(const BlowfishState& state, std::span<std::uint8_t> data,
                CbcBlock& chain) noexcept {
#if QUILLMOOR_HAVE_BMI_KERNELS
    if (kHasBmi)
        return CbcEncryptBmi(state, data, chain);
#endif
    cbc::CbcEncryptLoop(state, data, chain);
}

void CbcDecrypt(const BlowfishState& state, std::span<std::uint8_t> data,
                CbcBlock& chain) noexcept {
#if QUILLMOOR_HAVE_BMI_KERNELS
    if (kHasBmi)
        return CbcDecryptBmi(state, data, chain);
#endif
    cbc::CbcDecryptLoop(state, data, chain);
}

void CbcEncryptChains(const BlowfishState& state, std::span<CbcChain> chains) noexcept {
#if QUILLMOOR_HAVE_BMI_KERNELS
    if (kHasBmi)
        return CbcEncryptChainsBmi(state, chains);
#endif
    cbc::CbcEncryptChainsLoop(state, chains);
}

} // namespace quillmoor
