#pragma once

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <span>
#include <string>

#include "common/Secret.h"

// `quillmoor-cli keygen`: a random key as hexadecimal text, the form that
// --key-file reads and the window's Key box takes.
namespace quillmoor::cli {

inline constexpr std::size_t kKeygenDefaultBytes = 16;
inline constexpr std::size_t kKeygenMaxBytes = 56; // what Blowfish takes

struct KeygenRequest {
    std::size_t bytes = kKeygenDefaultBytes; // 1 to kKeygenMaxBytes
    std::string output;                      // a new file; empty or "-": standard output
};

// Fills `bytes` from the system's random source (getrandom, BCryptGenRandom).
// On failure `error` is an errno value.
[[nodiscard]] bool SystemRandomBytes(std::span<std::uint8_t> bytes, int& error);

// Two lowercase hexadecimal digits a byte, then a line feed.
SecretText KeyHexLine(std::span<const std::uint8_t> bytes);

// Makes the key and writes it: a file is created 0600 and never replaces an
// existing one (nor follows a link). Returns the exit status.
[[nodiscard]] int RunKeygen(const KeygenRequest& request, std::ostream& out, std::ostream& err);

} // namespace quillmoor::cli
