#pragma once

// Win32 handles owned once: closed when the owner goes, whatever path it
// leaves by. The window's own wrappers (fonts, GDI objects) sit in app/win32.
#ifdef _WIN32

#include "common/WindowsApi.h"

#include <cstdint>
#include <utility>

namespace quillmoor {

// A system handle owned once: `Close` releases it; `Invalid` is the value
// that means none (0 for most, -1 for file and find handles). Moves, never
// copies. The window's fonts, GDI objects and hooks use it too.
template <typename Handle, auto Close, std::intptr_t Invalid = 0> class ScopedHandle {
  public:
    ScopedHandle() = default;
    explicit ScopedHandle(Handle handle) : handle_(handle) {}
    ~ScopedHandle() { reset(); }
    ScopedHandle(ScopedHandle&& other) noexcept : handle_(other.release()) {}
    ScopedHandle& operator=(ScopedHandle&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    ScopedHandle(const ScopedHandle&) = delete;
    ScopedHandle& operator=(const ScopedHandle&) = delete;

    [[nodiscard]] Handle get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != Empty(); }
    explicit operator bool() const { return valid(); }
    // Gives the handle up without closing it.
    Handle release() { return std::exchange(handle_, Empty()); }
    void reset(Handle handle = Empty()) {
        if (valid())
            Close(handle_);
        handle_ = handle;
    }

  private:
    static Handle Empty() { return reinterpret_cast<Handle>(Invalid); }
    Handle handle_ = Empty();
};

// From CreateFileW and the like.
using ScopedFileHandle = ScopedHandle<HANDLE, ::CloseHandle, -1>;
// From FindFirstFileW / FindFirstFileExW.
using ScopedFindHandle = ScopedHandle<HANDLE, ::FindClose, -1>;

} // namespace quillmoor

#endif
