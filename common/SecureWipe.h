#pragma once

#include <cstddef>

namespace quillmoor {

// Overwrites memory with zeros in a way the optimiser may not drop. The
// owners in common/Secret.h call it; code holding a secret uses them.
inline void SecureWipe(void* data, std::size_t size) noexcept {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

} // namespace quillmoor
