#pragma once

#include "common/WindowsApi.h"

namespace quillmoor::win32 {

// Registers a window class of this program: its icon (large and small), the
// dialog face colour and the arrow cursor. Call it once per class.
bool RegisterWindowClass(const wchar_t* name, WNDPROC proc);

// The object a window procedure works for: the creation parameter, kept in
// the window's user data from WM_NCCREATE on; nullptr before that.
template <typename T> T* OwnerOfWindow(HWND window, UINT message, LPARAM lParam) {
    if (message == WM_NCCREATE)
        ::SetWindowLongPtrW(
            window, GWLP_USERDATA,
            reinterpret_cast<LONG_PTR>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams));
    return reinterpret_cast<T*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

} // namespace quillmoor::win32
