#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string_view>

#include "cipher/basBlfArrays.h"
#include "common/Progress.h"
#include "filecrypt/BlowfishCbc.h"

// The encrypted file format: nothing but 8-byte Blowfish blocks in CBC mode.
// The plain bytes are followed by p = 8 - (n mod 8) filler bytes of value p;
// the initial chaining block is the first 8 key bytes of the key text,
// zero-filled. No header, no stored IV, no length, no checksum.
//
// The target is written to a temporary file beside it, forced to the device
// and renamed over the target only when everything succeeded: an existing
// target keeps its bytes on any failure or cancel, no partial file is left,
// and the source is only ever read.
namespace quillmoor {

enum class DecryptMode {
    Strict,  // refuse a length that is not a positive multiple of 8 or bad filler bytes
    Lenient, // decrypt whatever is there, for recovering damaged files
};

enum class FileCryptResult { Done, Cancelled };

struct FileCryptOptions {
    ProgressCallback progress;
    DecryptMode mode = DecryptMode::Strict;
    const BlowfishState* state = nullptr; // nullptr: the process-wide key
    unsigned threads = 0;      // threads it may use; 0: one per core (1: no helper thread)
    bool replaceTarget = true; // false: an existing target is kept, and the run fails (326)
};

// Both raise RuntimeError: 68 when the source cannot be opened or the target
// cannot be created, 57/61 for a failed read or write, 321 ("wrong key or
// damaged file") when strict decryption finds no valid filler. The key must
// already be set up from the same key text; the text only gives the IV.
[[nodiscard]] FileCryptResult BlowfishEncryptFile(const std::filesystem::path& source,
                                                  const std::filesystem::path& target,
                                                  std::u16string_view keyText,
                                                  const FileCryptOptions& options);
[[nodiscard]] FileCryptResult BlowfishDecryptFile(const std::filesystem::path& source,
                                                  const std::filesystem::path& target,
                                                  std::u16string_view keyText,
                                                  const FileCryptOptions& options);

// The initial chaining block: the first 8 key bytes of the key text, zero-filled.
void ChainingBlockOfKeyText(std::u16string_view keyText, CbcBlock& block);

// How many filler bytes end a deciphered final block: in strict mode p bytes
// of value p (1 to 8), or 0 when they are not; leniently byte 7 alone, a
// value above 8 counting as 0.
[[nodiscard]] std::size_t FillerCount(std::span<const std::uint8_t> finalBlock, DecryptMode mode);

void BlowfishEncryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                         std::u16string_view keyText);
void BlowfishDecryptFile(const std::filesystem::path& source, const std::filesystem::path& target,
                         std::u16string_view keyText);

} // namespace quillmoor
