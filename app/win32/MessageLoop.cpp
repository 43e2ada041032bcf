#include "app/win32/MessageLoop.h"

#include <algorithm>
#include <vector>

namespace quillmoor::win32 {

namespace {

std::vector<HWND>& Windows() {
    static std::vector<HWND> windows;
    return windows;
}

} // namespace

void AddDialogWindow(HWND window) { Windows().push_back(window); }

void RemoveDialogWindow(HWND window) { std::erase(Windows(), window); }

bool RouteDialogMessage(MSG& msg) {
    // F5 reads the lists again wherever the focus is in the main window.
    if (msg.message == WM_KEYDOWN && msg.wParam == VK_F5 && msg.hwnd) {
        const HWND root = ::GetAncestor(msg.hwnd, GA_ROOT);
        if (std::find(Windows().begin(), Windows().end(), root) != Windows().end()) {
            ::SendMessageW(root, WM_COMMAND, kRefreshCommand, 0);
            return true;
        }
    }
    for (HWND window : Windows())
        if (msg.hwnd && (msg.hwnd == window || ::IsChild(window, msg.hwnd)))
            return ::IsDialogMessageW(window, &msg) != FALSE;
    return false;
}

int RunMessageLoop() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (RouteDialogMessage(msg))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
    return static_cast<int>(msg.wParam);
}

} // namespace quillmoor::win32
