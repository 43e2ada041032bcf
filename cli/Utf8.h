#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "common/Secret.h"

namespace quillmoor::cli {

// Strict UTF-8 to UTF-16: overlong forms, surrogates, values above U+10FFFF,
// stray continuation bytes and cut-off sequences are refused. On success
// `out` holds the text; it is reserved up front, so a secret is never copied
// by a reallocation. On failure `badOffset` is the offset of the first byte
// that cannot start or continue a character, and `out` is emptied.
bool Utf8ToUtf16(std::string_view in, SecretText16& out, std::size_t& badOffset);

} // namespace quillmoor::cli
