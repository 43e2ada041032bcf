#pragma once

// Win32 handles owned once: closed when the owner goes, whatever path it
// leaves by. The window's own wrappers (fonts, GDI objects) sit in app/win32.
#ifdef _WIN32

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <utility>

namespace quillmoor {

// A handle whose empty value is INVALID_HANDLE_VALUE, released by `Close`.
template <BOOL(WINAPI* Close)(HANDLE)> class ScopedWinHandle {
  public:
    ScopedWinHandle() = default;
    explicit ScopedWinHandle(HANDLE handle) : handle_(handle) {}
    ~ScopedWinHandle() { Reset(); }
    ScopedWinHandle(ScopedWinHandle&& other) noexcept : handle_(other.Release()) {}
    ScopedWinHandle& operator=(ScopedWinHandle&& other) noexcept {
        if (this != &other)
            Reset(other.Release());
        return *this;
    }
    ScopedWinHandle(const ScopedWinHandle&) = delete;
    ScopedWinHandle& operator=(const ScopedWinHandle&) = delete;

    [[nodiscard]] HANDLE get() const { return handle_; }
    [[nodiscard]] bool valid() const { return handle_ != INVALID_HANDLE_VALUE; }
    // Gives the handle up without closing it.
    HANDLE Release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }
    void Reset(HANDLE handle = INVALID_HANDLE_VALUE) {
        if (valid())
            Close(handle_);
        handle_ = handle;
    }

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// From CreateFileW and the like.
using ScopedFileHandle = ScopedWinHandle<::CloseHandle>;
// From FindFirstFileW / FindFirstFileExW.
using ScopedFindHandle = ScopedWinHandle<::FindClose>;

} // namespace quillmoor

#endif
