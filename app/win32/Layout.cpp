#include "app/win32/Layout.h"

#include <commctrl.h>
#include <cstdlib>
#include <string>

#include "app/win32/Dpi.h"
#include "app/win32/Text.h"

namespace quillmoor::win32 {

namespace {

using commands::ControlKind;

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle StyleOf(ControlKind kind) {
    constexpr DWORD list =
        WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | LBS_HASSTRINGS;
    switch (kind) {
    case ControlKind::Label: return {L"STATIC", SS_LEFT | SS_NOPREFIX, 0};
    case ControlKind::TextBox:
        return {L"EDIT", WS_TABSTOP | ES_AUTOHSCROLL | ES_PASSWORD, WS_EX_CLIENTEDGE};
    case ControlKind::Button: return {L"BUTTON", WS_TABSTOP | BS_PUSHBUTTON, 0};
    case ControlKind::CheckBox: return {L"BUTTON", WS_TABSTOP | BS_AUTOCHECKBOX, 0};
    case ControlKind::DriveList:
        return {L"COMBOBOX", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST | CBS_HASSTRINGS, 0};
    case ControlKind::FolderList:
    case ControlKind::FileList: return {L"LISTBOX", list, WS_EX_CLIENTEDGE};
    case ControlKind::Picture: return {L"STATIC", SS_OWNERDRAW, 0};
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

SIZE TextSize(HDC dc, const char* text) {
    RECT rect{0, 0, 0, 0};
    const std::wstring wide = Widen(text);
    ::DrawTextW(dc, wide.c_str(), -1, &rect, DT_CALCRECT | DT_NOPREFIX | DT_LEFT);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

bool AllFit(HWND parent, const commands::WindowLayout& layout, int firstId, HFONT font,
            unsigned dpi, int ownFont) {
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const int id = ControlId(firstId, i);
        if (id != ownFont && !CaptionFits(::GetDlgItem(parent, id), layout.controls[i], font, dpi))
            return false;
    }
    return true;
}

} // namespace

bool CaptionFits(HWND control, const commands::ControlLayout& layout, HFONT font, unsigned dpi) {
    if (!*layout.caption || !control)
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
    case ControlKind::Label: return text.cx <= width && text.cy <= height;
    case ControlKind::Button: return text.cx + scaled(kButtonPadding) <= width;
    case ControlKind::CheckBox:
        return text.cx + scaled(::GetSystemMetrics(SM_CXMENUCHECK) + kCheckGap) <= width;
    default: return true;
    }
}

Font CreateFittingFont(HWND parent, const commands::WindowLayout& layout, int firstId, unsigned dpi,
                       int ownFont) {
    LOGFONTW font = MessageFont(dpi);
    const int sign = font.lfHeight < 0 ? -1 : 1;
    const int smallest = ::MulDiv(kSmallestPoints, static_cast<int>(dpi), 72);
    for (;;) {
        Font made(::CreateFontIndirectW(&font));
        if (std::abs(font.lfHeight) <= smallest ||
            AllFit(parent, layout, firstId, made.get(), dpi, ownFont))
            return made;
        font.lfHeight -= sign;
    }
}

void CreateControls(HWND parent, const commands::WindowLayout& layout, int firstId) {
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const commands::ControlLayout& control = layout.controls[i];
        const ClassAndStyle kind = StyleOf(control.kind);
        const std::wstring caption = Widen(control.caption);
        ::CreateWindowExW(kind.exStyle, kind.className, caption.c_str(),
                          WS_CHILD | WS_VISIBLE | WS_GROUP | kind.style, 0, 0, 0, 0, parent,
                          reinterpret_cast<HMENU>(static_cast<INT_PTR>(ControlId(firstId, i))),
                          instance, nullptr);
    }
}

void PlaceControls(HWND parent, const commands::WindowLayout& layout, int firstId, unsigned dpi,
                   HFONT font) {
    for (std::size_t i = 0; i < layout.controls.size(); ++i) {
        const commands::ControlLayout& control = layout.controls[i];
        HWND child = ::GetDlgItem(parent, ControlId(firstId, i));
        if (!child)
            continue;
        const int height = TwipsToPixels(control.height, dpi);
        // The open drop-down shows about ten drives.
        const int windowHeight = control.kind == ControlKind::DriveList ? height * 10 : height;
        if (font)
            ::SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
        ::SetWindowPos(child, nullptr, TwipsToPixels(control.left, dpi),
                       TwipsToPixels(control.top, dpi), TwipsToPixels(control.width, dpi),
                       windowHeight, SWP_NOZORDER | SWP_NOACTIVATE);
        if (control.kind == ControlKind::DriveList)
            FitComboHeight(child, height);
    }
    ::InvalidateRect(parent, nullptr, TRUE);
}

} // namespace quillmoor::win32
