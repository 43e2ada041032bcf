#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

#include "common/Progress.h"

// The Wipe command without any widget: three passes over a file in place,
// each a zero, a random and a 0xFF sub-pass in 250-byte blocks. The file
// keeps its name and ends n x 250 bytes long, all 0xFF (n = 1 for an empty
// file, else the length divided by 250, rounded up).
namespace quillmoor::commands {

inline constexpr std::size_t kWipeBlockBytes = 250;

struct WipeOptions {
    std::uint64_t seed = 0;    // seed of the random sub-passes; see ClockSeed()
    ProgressCallback progress; // bytes written so far of 9 x n x 250; may cancel
    // Sees every random block before it is written (for tests).
    std::function<void(std::span<const std::uint8_t>)> randomBlockObserver;
};

enum class WipeResult { Done, Cancelled };

// Raises RuntimeError naming the file and the reason when the file is
// missing (it is not created), is not a regular file, or cannot be written.
// Each sub-pass is forced to the device before the next begins.
[[nodiscard]] WipeResult WipeFile(const std::filesystem::path& path, const WipeOptions& options);

// A seed taken from the clock, as each click of Wipe takes a new one.
std::uint64_t ClockSeed();

// Number of 250-byte blocks a sub-pass writes over a file of `length` bytes.
std::uint64_t WipeBlockCount(std::uint64_t length);

// The random bytes of one block: each floor(255 x r) for a uniform r in [0, 1),
// so 0 to 254 and never 255.
class WipeRandom {
  public:
    explicit WipeRandom(std::uint64_t seed);
    void Fill(std::span<std::uint8_t> bytes);

  private:
    std::uint64_t Next();
    std::uint64_t s_[4];
};

} // namespace quillmoor::commands
