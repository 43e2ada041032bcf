#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "common/Secret.h"

namespace quillmoor {

// MD5 (RFC 1321) of a text, as 32 lowercase hexadecimal digits. Each UTF-16
// code unit contributes its low eight bits, so ASCII and Latin-1 texts give
// the standard digest of their bytes; no other encoding takes place.
class CMD5 {
  public:
    [[nodiscard]] std::string MD5(const std::u16string& text) const;
    // The same digest in secret memory, for a password's key text.
    [[nodiscard]] SecretText Digest(std::u16string_view text) const;

  private:
    friend struct CMD5Access; // the tests reach the word operations through it

    // Shift counts outside 0..31 raise the overflow error (6).
    static std::uint32_t ShiftWordLeft(std::uint32_t value, int count);
    static std::uint32_t ShiftWordRight(std::uint32_t value, int count);
    static std::uint32_t RotateWordLeft(std::uint32_t value, int count);
    static std::uint32_t AddWords(std::uint32_t x, std::uint32_t y) noexcept;
    static std::uint32_t MixF(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept;
    static std::uint32_t MixG(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept;
    static std::uint32_t MixH(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept;
    static std::uint32_t MixI(std::uint32_t x, std::uint32_t y, std::uint32_t z) noexcept;
    static void StepF(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t x, int s, std::uint32_t t);
    static void StepG(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t x, int s, std::uint32_t t);
    static void StepH(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t x, int s, std::uint32_t t);
    static void StepI(std::uint32_t& a, std::uint32_t b, std::uint32_t c, std::uint32_t d,
                      std::uint32_t x, int s, std::uint32_t t);
    static SecretVector<std::uint32_t> PadMessageWords(std::u16string_view text);
    static void AppendWordHex(SecretText& out, std::uint32_t word);
};

} // namespace quillmoor
