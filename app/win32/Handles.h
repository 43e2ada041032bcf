#pragma once

#include <cstdint>
#include <utility>

#include "app/win32/Win32.h"

// Handles of the system owned once: each wrapper closes what it holds when
// it goes, and moves but never copies.
namespace quillmoor::win32 {

template <typename Handle, auto Close, std::intptr_t Invalid = 0> class Owned {
  public:
    Owned() = default;
    explicit Owned(Handle handle) : handle_(handle) {}
    ~Owned() { reset(); }
    Owned(Owned&& other) noexcept : handle_(other.release()) {}
    Owned& operator=(Owned&& other) noexcept {
        if (this != &other)
            reset(other.release());
        return *this;
    }
    Owned(const Owned&) = delete;
    Owned& operator=(const Owned&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != Empty(); }
    Handle release() { return std::exchange(handle_, Empty()); }
    void reset(Handle handle = Empty()) {
        if (handle_ != Empty())
            Close(handle_);
        handle_ = handle;
    }

  private:
    static Handle Empty() { return reinterpret_cast<Handle>(Invalid); }
    Handle handle_ = Empty();
};

namespace handles {
inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void CloseFind(HANDLE handle) { ::FindClose(handle); }
inline void DestroyOwnedWindow(HWND window) { ::DestroyWindow(window); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }
inline void Unhook(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
} // namespace handles

using Font = Owned<HFONT, handles::DeleteGdiObject>;
using Bitmap = Owned<HBITMAP, handles::DeleteGdiObject>;
using MemoryDc = Owned<HDC, handles::DeleteMemoryDc>;
using Event = Owned<HANDLE, handles::CloseKernelHandle>;
// FindFirstFile's failure is INVALID_HANDLE_VALUE (-1), not null.
using FindHandle = Owned<HANDLE, handles::CloseFind, -1>;
using OwnedWindow = Owned<HWND, handles::DestroyOwnedWindow>;
using WindowsHook = Owned<HHOOK, handles::Unhook>;

// An object selected into a device context while in scope.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), old_(::SelectObject(dc, object)) {}
    ~Selected() { ::SelectObject(dc_, old_); }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ old_;
};

// A window's device context while in scope.
class WindowDc {
  public:
    explicit WindowDc(HWND window) : window_(window), dc_(::GetDC(window)) {}
    ~WindowDc() { ::ReleaseDC(window_, dc_); }
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;
    HDC get() const { return dc_; }

  private:
    HWND window_;
    HDC dc_;
};

} // namespace quillmoor::win32
