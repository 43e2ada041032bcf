#include "filecrypt/basBlowfishByteFns.h"

#include "cipher/basBlowfish.h"
#include "cipher/basUnsignedWord.h"
#include "common/RuntimeError.h"

namespace quillmoor {

namespace {

using BlockTransform = void (*)(const BlowfishState&, std::uint32_t&, std::uint32_t&) noexcept;

void TransformByteBlock(const BlowfishState& state, std::span<std::uint8_t> b,
                        BlockTransform transform) {
    if (b.size() < 8)
        throw RuntimeError(kErrSubscriptOutOfRange, "Subscript out of range: block of " +
                                                        std::to_string(b.size()) + " bytes");
    std::uint32_t left = WordFromBytes(b[0], b[1], b[2], b[3]);
    std::uint32_t right = WordFromBytes(b[4], b[5], b[6], b[7]);
    transform(state, left, right);
    WordToBytes(left, b[0], b[1], b[2], b[3]);
    WordToBytes(right, b[4], b[5], b[6], b[7]);
}

} // namespace

void BlowfishEncipherByteBlock(const BlowfishState& state, std::span<std::uint8_t> block) {
    TransformByteBlock(state, block, &BlowfishEncipherBlock);
}

void BlowfishDecipherByteBlock(const BlowfishState& state, std::span<std::uint8_t> block) {
    TransformByteBlock(state, block, &BlowfishDecipherBlock);
}

void BlowfishEncipherByteBlock(std::span<std::uint8_t> block) {
    BlowfishEncipherByteBlock(blowfishState(), block);
}

void BlowfishDecipherByteBlock(std::span<std::uint8_t> block) {
    BlowfishDecipherByteBlock(blowfishState(), block);
}

void XorBytesInPlace(std::span<std::uint8_t> target, std::span<const std::uint8_t> source,
                     std::int32_t count) {
    for (std::int32_t i = 0; i < count; ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (index >= target.size() || index >= source.size())
            throw RuntimeError(kErrSubscriptOutOfRange,
                               "Subscript out of range: index " + std::to_string(i));
        target[index] ^= source[index];
    }
}

} // namespace quillmoor
