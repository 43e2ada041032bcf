#include "app/win32/Dpi.h"

#include <algorithm>

#include "app/win32/Handles.h"

namespace quillmoor::win32 {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using SystemParametersInfoForDpiFn = BOOL(WINAPI*)(UINT, UINT, PVOID, UINT, UINT);
using AdjustWindowRectExForDpiFn = BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT);

template <typename Fn> Fn User32(const char* name) {
    const HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    return user32 ? reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(user32, name)))
                  : nullptr;
}

unsigned SystemDpi() {
    const WindowDc screen(nullptr);
    const int dpi = ::GetDeviceCaps(screen.get(), LOGPIXELSY);
    return dpi > 0 ? static_cast<unsigned>(dpi) : kBaseDpi;
}

} // namespace

unsigned WindowDpi(HWND window) {
    static const auto forWindow = User32<GetDpiForWindowFn>("GetDpiForWindow");
    if (forWindow && window)
        if (const UINT dpi = forWindow(window))
            return dpi;
    return SystemDpi();
}

LOGFONTW MessageFont(unsigned dpi) {
    static const auto forDpi = User32<SystemParametersInfoForDpiFn>("SystemParametersInfoForDpi");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof metrics;
    if (forDpi && forDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
        return metrics.lfMessageFont;
    if (::SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0)) {
        // Given at the system's DPI; scaled to the window's.
        metrics.lfMessageFont.lfHeight = ::MulDiv(
            metrics.lfMessageFont.lfHeight, static_cast<int>(dpi), static_cast<int>(SystemDpi()));
        return metrics.lfMessageFont;
    }
    LOGFONTW font{};
    ::GetObjectW(::GetStockObject(DEFAULT_GUI_FONT), sizeof font, &font);
    return font;
}

Font CreateMessageFont(unsigned dpi) {
    const LOGFONTW font = MessageFont(dpi);
    return Font(::CreateFontIndirectW(&font));
}

Font CreatePointFont(const wchar_t* face, int points, bool bold, unsigned dpi) {
    LOGFONTW font{};
    font.lfHeight = -::MulDiv(points, static_cast<int>(dpi), 72);
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    font.lfCharSet = DEFAULT_CHARSET;
    font.lfQuality = CLEARTYPE_QUALITY;
    ::lstrcpynW(font.lfFaceName, face, LF_FACESIZE);
    return Font(::CreateFontIndirectW(&font));
}

SIZE WindowSizeForClient(int width, int height, DWORD style, DWORD exStyle, unsigned dpi) {
    static const auto forDpi = User32<AdjustWindowRectExForDpiFn>("AdjustWindowRectExForDpi");
    RECT rect{0, 0, width, height};
    if (!forDpi || !forDpi(&rect, style, FALSE, exStyle, dpi))
        ::AdjustWindowRectEx(&rect, style, FALSE, exStyle);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

void SetClientSize(HWND window, int width, int height, unsigned dpi, const POINT* at) {
    const auto style = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_STYLE));
    const auto exStyle = static_cast<DWORD>(::GetWindowLongPtrW(window, GWL_EXSTYLE));
    const SIZE size = WindowSizeForClient(width, height, style, exStyle, dpi);
    const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    ::SetWindowPos(window, nullptr, at ? at->x : 0, at ? at->y : 0, size.cx, size.cy,
                   flags | (at ? 0 : SWP_NOMOVE));
    // The frame may not be the one computed for `dpi` (a system that does
    // not scale it): measured, and made up for.
    RECT client{};
    ::GetClientRect(window, &client);
    if (client.right != width || client.bottom != height)
        ::SetWindowPos(window, nullptr, 0, 0, size.cx + width - client.right,
                       size.cy + height - client.bottom, flags | SWP_NOMOVE);
}

RECT WorkAreaNear(HWND beside) {
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    const HMONITOR found = beside ? ::MonitorFromWindow(beside, MONITOR_DEFAULTTONEAREST)
                                  : ::MonitorFromWindow(nullptr, MONITOR_DEFAULTTOPRIMARY);
    if (!::GetMonitorInfoW(found, &monitor))
        ::SystemParametersInfoW(SPI_GETWORKAREA, 0, &monitor.rcWork, 0);
    return monitor.rcWork;
}

POINT PlaceInside(const RECT& area, POINT centre, int width, int height) {
    const auto clamp = [](long at, long low, long high) {
        return std::max(low, std::min(at, high)); // low wins when it does not fit
    };
    return {clamp(centre.x - width / 2, area.left, area.right - width),
            clamp(centre.y - height / 2, area.top, area.bottom - height)};
}

void KeepInsideWorkArea(HWND window) {
    RECT frame{};
    ::GetWindowRect(window, &frame);
    const POINT centre{(frame.left + frame.right) / 2, (frame.top + frame.bottom) / 2};
    const POINT at = PlaceInside(WorkAreaNear(window), centre, frame.right - frame.left,
                                 frame.bottom - frame.top);
    if (at.x != frame.left || at.y != frame.top)
        ::SetWindowPos(window, nullptr, at.x, at.y, 0, 0,
                       SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

} // namespace quillmoor::win32
