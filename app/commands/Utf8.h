#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/Secret.h"

// Strict UTF-8, the one decoder of the tree: names shown in messages and
// keys typed at the command line are read by the same rule. Overlong forms,
// surrogates, values above U+10FFFF, stray continuation bytes and cut-off
// sequences are not characters.
namespace quillmoor::commands {

// The length of the character at text[i] and its value; 0 when the bytes
// there are not one, and then `bad` is the offset of the first byte that
// cannot start or continue it.
std::size_t Utf8CharacterAt(std::string_view text, std::size_t i, char32_t& value,
                            std::size_t& bad);

// UTF-8 to UTF-16. On success `out` holds the text; it is reserved up front,
// so a secret is never copied by a reallocation. On failure `badOffset` is
// the offset of the first byte that cannot start or continue a character,
// and `out` is wiped and emptied.
bool Utf8ToUtf16(std::string_view in, SecretText16& out, std::size_t& badOffset);

} // namespace quillmoor::commands
