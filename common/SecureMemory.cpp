#include "common/SecureMemory.h"

#include <cstdint>
#include <cstdlib>

#ifdef _WIN32
#include "common/WindowsApi.h"
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace quillmoor {

namespace {

std::size_t PageSize() noexcept {
#ifdef _WIN32
    SYSTEM_INFO info{};
    ::GetSystemInfo(&info);
    return info.dwPageSize;
#else
    const long size = ::sysconf(_SC_PAGESIZE);
    return size > 0 ? static_cast<std::size_t>(size) : 4096;
#endif
}

// The whole pages that cover [data, data + size).
struct Pages {
    void* start;
    std::size_t length;
};

Pages PagesOf(const void* data, std::size_t size) noexcept {
    const std::size_t page = PageSize();
    const auto begin = reinterpret_cast<std::uintptr_t>(data) & ~(page - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(data) + size + page - 1) & ~(page - 1);
    return {reinterpret_cast<void*>(begin), end - begin};
}

std::size_t RoundedUp(std::size_t size) noexcept {
    const std::size_t page = PageSize();
    return (size == 0 ? 1 : size + page - 1) / page * page;
}

} // namespace

void KeepOutOfDumps(const void* data, std::size_t size) noexcept {
    if (!data || size == 0)
        return;
    const Pages pages = PagesOf(data, size);
#ifdef _WIN32
    (void)::VirtualLock(pages.start, pages.length);
#else
#ifdef MADV_DONTDUMP
    (void)::madvise(pages.start, pages.length, MADV_DONTDUMP);
#endif
    (void)::mlock(pages.start, pages.length);
#endif
}

void* AllocateSecretPages(std::size_t size) {
    const std::size_t length = RoundedUp(size);
#ifdef _WIN32
    void* data = ::VirtualAlloc(nullptr, length, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!data)
        throw std::bad_alloc();
#else
    void* data =
        ::mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (data == MAP_FAILED)
        throw std::bad_alloc();
#endif
    KeepOutOfDumps(data, length);
    return data;
}

void ReleaseSecretPages(void* data, std::size_t size) noexcept {
    if (!data)
        return;
    const std::size_t length = RoundedUp(size);
    SecureWipe(data, length);
#ifdef _WIN32
    (void)::VirtualUnlock(data, length);
    (void)::VirtualFree(data, 0, MEM_RELEASE);
#else
    (void)::munlock(data, length);
    (void)::munmap(data, length);
#endif
}

} // namespace quillmoor
