#pragma once

#include <cstdint>
#include <functional>

namespace quillmoor {

// Called after each chunk of work with the bytes done so far and the total;
// returning false cancels the operation. Shared by the file routines, the
// wipe and every front end that shows progress.
using ProgressCallback = std::function<bool(std::uint64_t done, std::uint64_t total)>;

} // namespace quillmoor
