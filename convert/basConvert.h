#pragma once

#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "common/Secret.h"

namespace quillmoor {

// Turns Key box text into key bytes, two characters (UTF-16 code units) a
// byte, the leftmost pair first. An odd text is read as if a "0" stood in
// front of it. The empty text gives nullopt, the absent array, which is not
// an empty vector. Never fails: characters that are not hexadecimal digits
// end a pair's digits early or count as 0, as BASIC's "&H" literal
// conversion does.
std::optional<std::vector<std::uint8_t>> HexTextToBytes(std::u16string_view text);

// The same bytes in secret memory, for the key itself; empty for the empty
// text.
SecretBytes HexTextToKeyBytes(std::u16string_view text);

// True when every code unit is a hexadecimal digit (and there is at least one).
bool IsPlainHexText(std::u16string_view text) noexcept;

} // namespace quillmoor
