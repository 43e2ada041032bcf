#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace quillmoor {

// Overwrites memory with zeros in a way the optimiser may not drop, for key
// bytes, passwords and key schedules that are about to be released.
inline void SecureWipe(void* data, std::size_t size) noexcept {
    volatile unsigned char* p = static_cast<volatile unsigned char*>(data);
    for (std::size_t i = 0; i < size; ++i)
        p[i] = 0;
}

template <typename T> void SecureWipe(std::vector<T>& v) noexcept {
    SecureWipe(v.data(), v.size() * sizeof(T));
}

template <typename C> void SecureWipe(std::basic_string<C>& s) noexcept {
    SecureWipe(s.data(), s.size() * sizeof(C));
}

} // namespace quillmoor
