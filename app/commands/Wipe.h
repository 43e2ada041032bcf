#pragma once

#include <cstddef>
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
// Whole blocks per system call: the bytes on disk are exactly those of
// single-block writes at offsets 0, 250, 500, ... 2048 blocks are 125 pages,
// so every write starts on a page, and half a megabyte stays in the core's
// cache between being made and being copied to the file.
inline constexpr std::size_t kWipeBlocksPerWrite = 2048;

// What becomes of the file once overwritten.
enum class AfterWipe {
    Keep,   // it keeps its name and length, all 0xFF
    Remove, // emptied, renamed step by step to shorter names, then removed
};

struct WipeOptions {
    std::uint64_t seed = 0;    // seed of the random sub-passes; see ClockSeed()
    ProgressCallback progress; // bytes written so far of 9 x n x 250; may cancel
    AfterWipe after = AfterWipe::Keep;
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

// The random bytes of the random sub-passes: each floor(255 x r) for a uniform
// r in [0, 1), so 0 to 254 and never 255. Sixteen xoshiro128++ streams run
// side by side, one per lane, so the compiler keeps them in vector registers;
// each 32-bit draw gives two 16-bit fractions r = u / 2^16, and
// floor(255 r) = (255 u) >> 16 takes one value 258 times in 65536, the
// other 254 values 257 times each.
// No claim of cryptographic quality is made, and none is needed to overwrite.
class WipeRandom {
  public:
    static constexpr std::size_t kLanes = 16;
    static constexpr std::size_t kStepBytes = 2 * kLanes; // bytes of one draw in every lane
    struct Lanes {
        std::uint32_t s0[kLanes], s1[kLanes], s2[kLanes], s3[kLanes];
    };
    // Best takes a build of the same loop for wider vectors when the
    // processor has them; both give the same bytes.
    enum class Kernel { Best, Portable };

    explicit WipeRandom(std::uint64_t seed, Kernel kernel = Kernel::Best);
    // Whether Best differs from Portable in this build on this processor.
    [[nodiscard]] static bool WideKernelAvailable() noexcept;
    // Fills whole steps in place; the unused bytes of a last part step are
    // dropped, so successive fills of sizes not a multiple of kStepBytes do
    // not join into one stream (nothing needs them to).
    void Fill(std::span<std::uint8_t> bytes);

  private:
    alignas(64) Lanes lanes_;
    bool wide_;
};

} // namespace quillmoor::commands
