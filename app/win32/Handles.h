#pragma once

#include <cstdint>
#include <utility>

#include "app/win32/Win32.h"
#include "common/ScopedHandle.h"

// Handles of the system owned once: each wrapper closes what it holds when
// it goes, and moves but never copies.
namespace quillmoor::win32 {

template <typename Handle, auto Close, std::intptr_t Invalid = 0>
using Owned = ScopedHandle<Handle, Close, Invalid>;

namespace handles {
inline void DeleteGdiObject(HGDIOBJ object) { ::DeleteObject(object); }
inline void CloseKernelHandle(HANDLE handle) { ::CloseHandle(handle); }
inline void DestroyOwnedWindow(HWND window) { ::DestroyWindow(window); }
inline void DeleteMemoryDc(HDC dc) { ::DeleteDC(dc); }
inline void Unhook(HHOOK hook) { ::UnhookWindowsHookEx(hook); }
} // namespace handles

using Font = Owned<HFONT, handles::DeleteGdiObject>;
using Bitmap = Owned<HBITMAP, handles::DeleteGdiObject>;
using MemoryDc = Owned<HDC, handles::DeleteMemoryDc>;
using Event = Owned<HANDLE, handles::CloseKernelHandle>;
using FindHandle = ScopedFindHandle;
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
