#include "app/win32/Form2.h"

#include <cstdint>
#include <utility>

#include "app/win32/Dpi.h"
#include "app/win32/Layout.h"
#include "app/win32/MessageLoop.h"
#include "app/win32/Text.h"
#include "app/win32/resource.h"

namespace quillmoor::win32 {

namespace {

constexpr wchar_t kClassName[] = L"QuillmoorAbout";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU;
constexpr int kLogoWidth = 55, kLogoHeight = 53;

void RegisterClassOnce(WNDPROC proc) {
    static const bool registered = RegisterWindowClass(kClassName, proc);
    (void)registered;
}

// The logo's pixels premultiplied by their alpha, as AlphaBlend wants them.
HBITMAP LoadLogo() {
    auto* bitmap =
        static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_LOGO),
                                          IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    DIBSECTION dib{};
    if (!bitmap || ::GetObjectW(bitmap, sizeof dib, &dib) != sizeof dib ||
        dib.dsBm.bmBitsPixel != 32)
        return bitmap;
    auto* pixel = static_cast<std::uint8_t*>(dib.dsBm.bmBits);
    for (long i = 0; i < static_cast<long>(dib.dsBm.bmWidth) * dib.dsBm.bmHeight; ++i, pixel += 4)
        for (int c = 0; c < 3; ++c)
            pixel[c] = static_cast<std::uint8_t>(pixel[c] * pixel[3] / 255);
    return bitmap;
}

} // namespace

Form2::Form2(HWND beside) {
    RegisterClassOnce(&Form2::Proc);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    owner_.reset(::CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   instance, nullptr));
    // Where it opens decides its DPI: centred on the monitor of `beside`.
    MONITORINFO monitor{};
    monitor.cbSize = sizeof monitor;
    ::GetMonitorInfoW(::MonitorFromWindow(beside, MONITOR_DEFAULTTOPRIMARY), &monitor);
    const RECT& area = monitor.rcWork;
    window_ =
        ::CreateWindowExW(WS_EX_CONTROLPARENT, kClassName, Widen(commands::kForm2.caption).c_str(),
                          kStyle, (area.left + area.right) / 2, (area.top + area.bottom) / 2, 1, 1,
                          owner_.get(), nullptr, instance, this);
    if (!window_)
        return;
    CreateControls(window_, commands::kForm2, kForm2FirstId);
    logo_.reset(LoadLogo());
    Place(WindowDpi(window_));
    const SIZE size = WindowSizeForClient(TwipsToPixels(commands::kForm2.width, dpi_),
                                          TwipsToPixels(commands::kForm2.height, dpi_), kStyle,
                                          WS_EX_CONTROLPARENT, dpi_);
    const POINT at{(area.left + area.right - size.cx) / 2, (area.top + area.bottom - size.cy) / 2};
    SetClientSize(window_, TwipsToPixels(commands::kForm2.width, dpi_),
                  TwipsToPixels(commands::kForm2.height, dpi_), dpi_, &at);
    AddDialogWindow(window_);
    ::ShowWindow(window_, SW_SHOW);
    ::SetFocus(::GetDlgItem(window_, IDC_Form2_Command1));
}

Form2::~Form2() { Close(); }

void Form2::BringToFront() const {
    if (!window_)
        return;
    ::ShowWindow(window_, SW_SHOWNORMAL);
    ::SetForegroundWindow(window_);
}

void Form2::Close() {
    if (window_)
        ::DestroyWindow(window_);
}

void Form2::Place(unsigned dpi) {
    dpi_ = dpi;
    // The old fonts go once the controls hold the new ones.
    Font font = CreateFittingFont(window_, commands::kForm2, kForm2FirstId, dpi, IDC_Form2_Label1);
    Font nameFont = CreatePointFont(Widen(commands::kForm2NameFont).c_str(),
                                    commands::kForm2NamePoints, true, dpi);
    PlaceControls(window_, commands::kForm2, kForm2FirstId, dpi, font.get());
    ::SendDlgItemMessageW(window_, IDC_Form2_Label1, WM_SETFONT,
                          reinterpret_cast<WPARAM>(nameFont.get()), TRUE);
    font_ = std::move(font);
    nameFont_ = std::move(nameFont);
}

void Form2::DrawLogo(const DRAWITEMSTRUCT& item) const {
    ::FillRect(item.hDC, &item.rcItem, ::GetSysColorBrush(COLOR_BTNFACE));
    if (!logo_)
        return;
    const MemoryDc memory(::CreateCompatibleDC(item.hDC));
    const Selected logo(memory.get(), logo_.get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::GdiAlphaBlend(item.hDC, item.rcItem.left, item.rcItem.top,
                    ::MulDiv(kLogoWidth, static_cast<int>(dpi_), kBaseDpi),
                    ::MulDiv(kLogoHeight, static_cast<int>(dpi_), kBaseDpi), memory.get(), 0, 0,
                    kLogoWidth, kLogoHeight, blend);
}

LRESULT CALLBACK Form2::Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = OwnerOfWindow<Form2>(window, message, lParam);
    if (!self)
        return ::DefWindowProcW(window, message, wParam, lParam);
    self->window_ = window;
    return self->Handle(message, wParam, lParam);
}

LRESULT Form2::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_COMMAND:
        // Enter reaches here as IDOK; it presses OK only while OK has the
        // focus (the button is no default button). Escape does nothing.
        if (LOWORD(wParam) == IDC_Form2_Command1 ||
            (LOWORD(wParam) == IDOK && ::GetFocus() == ::GetDlgItem(window_, IDC_Form2_Command1)))
            Close();
        return 0;
    case WM_DRAWITEM:
        if (wParam == IDC_Picture1) {
            DrawLogo(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
            return TRUE;
        }
        break;
    case WM_DPICHANGED: {
        Place(HIWORD(wParam));
        const auto* suggested = reinterpret_cast<const RECT*>(lParam);
        const POINT at{suggested->left, suggested->top};
        SetClientSize(window_, TwipsToPixels(commands::kForm2.width, dpi_),
                      TwipsToPixels(commands::kForm2.height, dpi_), dpi_, &at);
        return 0;
    }
    case WM_NCDESTROY: {
        RemoveDialogWindow(window_);
        HWND gone = window_;
        window_ = nullptr;
        ::SetWindowLongPtrW(gone, GWLP_USERDATA, 0);
        return ::DefWindowProcW(gone, message, wParam, lParam);
    }
    default: break;
    }
    return ::DefWindowProcW(window_, message, wParam, lParam);
}

} // namespace quillmoor::win32
