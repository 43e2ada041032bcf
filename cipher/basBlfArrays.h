#pragma once

#include <cstdint>

#include "common/Secret.h"

namespace quillmoor {

// The expanded Blowfish key: P-array and four S-boxes.
struct BlowfishState {
    std::uint32_t P[18];
    std::uint32_t S[4][256];
};

// A key schedule of one's own (a run's, a test's): out of dumps and swap,
// wiped when it goes.
using KeySchedule = SecretObject<BlowfishState>;

// The one process-wide instance, all zeros until the first key is accepted.
// Only the key setup writes it; the block transforms only read it, so several
// threads may encipher with it at once while no key is being set.
BlowfishState& blowfishState();

// The standard initial values (hexadecimal digits of pi), for tests and tools.
const std::uint32_t (&BlowfishInitialP())[18];
const std::uint32_t (&BlowfishInitialS())[4][256];

// Copies the initial values into the working tables.
void BlowfishLoadInitialTables();
void BlowfishLoadInitialTables(BlowfishState& state);

} // namespace quillmoor
