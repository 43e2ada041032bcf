// The loop of WipeRandom compiled for AVX2, chosen at run time by Wipe.cpp on
// processors that have it: eight lanes to a register instead of four.
#include "app/commands/WipeRandomLoop.h"

namespace quillmoor::commands {

void WipeRandomStepsAvx2(WipeRandom::Lanes& lanes, std::uint8_t* out, std::size_t steps) noexcept {
    wipe::RandomStepsLoop(lanes, out, steps);
}

} // namespace quillmoor::commands
