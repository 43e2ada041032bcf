#include "app/win32/Layout.h"

#include <commctrl.h>
#include <cstdlib>
#include <string>

#include "app/win32/Dpi.h"

namespace quillmoor::win32 {

namespace {

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle StyleOf(Kind kind) {
    constexpr DWORD list =
        WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
    switch (kind) {
    case Kind::Label: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case Kind::TextBox:
        return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE};
    case Kind::Button: return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case Kind::CheckBox: return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case Kind::DriveList:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0};
    case Kind::FolderList:
    case Kind::FileList: return {L"LISTBOX", list, WS_EX_CLIENTEDGE};
    case Kind::Picture: return {L"STATIC", SS_OWNERDRAW, 0};
    }
    return {L"STATIC", 0, 0};
}

// A drop-down list's height is that of its closed field, set through the
// field's item height; the window height given to it is the open list's.
void FitComboHeight(HWND combo, int height) {
    // Steps on what was set, not on what is read back: some systems report
    // the field with its padding.
    auto field = ::SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
    for (int attempt = 0; attempt < 4; ++attempt) {
        RECT rect{};
        ::GetWindowRect(combo, &rect);
        const int now = rect.bottom - rect.top;
        if (now == height)
            return;
        field += height - now;
        ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field);
    }
}

constexpr int kSmallestPoints = 7;
constexpr int kButtonPadding = 6; // frame and focus rectangle
constexpr int kCheckGap = 6;      // between the box and the caption

SIZE TextSize(HDC dc, std::wstring_view text) {
    RECT rect{0, 0, 0, 0};
    const std::wstring copy(text);
    ::DrawTextW(dc, copy.c_str(), -1, &rect, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

bool AllFit(HWND parent, std::span<const ControlLayout> controls, HFONT font, unsigned dpi,
            int ownFont) {
    for (const ControlLayout& control : controls)
        if (control.id != ownFont &&
            !CaptionFits(::GetDlgItem(parent, control.id), control, font, dpi))
            return false;
    return true;
}

} // namespace

bool CaptionFits(HWND control, const ControlLayout& layout, HFONT font, unsigned dpi) {
    if (layout.caption.empty() || !control)
        return true;
    SIZE text{};
    {
        const WindowDc dc(control);
        const Selected selected(dc.get(), font);
        text = TextSize(dc.get(), layout.caption);
    }
    const int width = TwipsToPixels(layout.width, dpi), height = TwipsToPixels(layout.height, dpi);
    const auto scaled = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    switch (layout.kind) {
    case Kind::Label: return text.cx <= width && text.cy <= height;
    case Kind::Button: return text.cx + scaled(kButtonPadding) <= width;
    case Kind::CheckBox:
        return text.cx + scaled(::GetSystemMetrics(SM_CXMENUCHECK) + kCheckGap) <= width;
    default: return true;
    }
}

Font CreateFittingFont(HWND parent, std::span<const ControlLayout> controls, unsigned dpi,
                       int ownFont) {
    LOGFONTW font = MessageFont(dpi);
    const int sign = font.lfHeight < 0 ? -1 : 1;
    const int smallest = ::MulDiv(kSmallestPoints, static_cast<int>(dpi), 72);
    for (;;) {
        Font made(::CreateFontIndirectW(&font));
        if (std::abs(font.lfHeight) <= smallest ||
            AllFit(parent, controls, made.get(), dpi, ownFont))
            return made;
        font.lfHeight -= sign;
    }
}

void CreateControls(HWND parent, std::span<const ControlLayout> controls) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (const ControlLayout& control : controls) {
        const ClassAndStyle kind = StyleOf(control.kind);
        const std::wstring caption(control.caption);
        ::CreateWindowExW(kind.exStyle, kind.className, caption.c_str(),
                          WS_CHILD | WS_VISIBLE | WS_GROUP | kind.style, 0, 0, 0, 0, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                          nullptr);
    }
}

void PlaceControls(HWND parent, std::span<const ControlLayout> controls, unsigned dpi, HFONT font) {
    for (const ControlLayout& control : controls) {
        HWND child = ::GetDlgItem(parent, control.id);
        if (!child)
            continue;
        const int height = TwipsToPixels(control.height, dpi);
        // The open drop-down shows about ten drives.
        const int windowHeight = control.kind == Kind::DriveList ? height * 10 : height;
        if (font)
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SetWindowPos(child, nullptr, TwipsToPixels(control.left, dpi),
                       TwipsToPixels(control.top, dpi), TwipsToPixels(control.width, dpi),
                       windowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.kind == Kind::DriveList)
            FitComboHeight(child, height);
    }
    ::InvalidateRect(parent, nullptr, TRUE);
}

} // namespace quillmoor::win32
