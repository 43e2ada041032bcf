#pragma once

#include <cstddef>
#include <new>

#include "common/SecureWipe.h"

// Keeping key material out of core dumps and swap. Everything here is best
// effort: where the system refuses (no such call, a lock limit reached), it
// is silently skipped, and the bytes are still wiped after use.
namespace quillmoor {

// Asks that the memory pages holding [data, data + size) stay out of core
// dumps and are never written to swap. Meant for buffers that live as long
// as the process (the key schedule); the neighbours sharing those pages are
// kept out too, which costs nothing.
void KeepOutOfDumps(const void* data, std::size_t size) noexcept;

// Pages of their own for a secret: kept out of dumps and swap while held,
// wiped before they go back to the system.
void* AllocateSecretPages(std::size_t size);
void ReleaseSecretPages(void* data, std::size_t size) noexcept;

// An allocator for containers that hold secrets (key bytes, key texts).
template <typename T> struct SecureAllocator {
    using value_type = T;

    SecureAllocator() noexcept = default;
    template <typename U> SecureAllocator(const SecureAllocator<U>&) noexcept {}

    T* allocate(std::size_t n) {
        if (n > static_cast<std::size_t>(-1) / sizeof(T))
            throw std::bad_alloc();
        return static_cast<T*>(AllocateSecretPages(n * sizeof(T)));
    }
    void deallocate(T* p, std::size_t n) noexcept { ReleaseSecretPages(p, n * sizeof(T)); }

    template <typename U> bool operator==(const SecureAllocator<U>&) const noexcept { return true; }
};

} // namespace quillmoor
