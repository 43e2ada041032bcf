#include "app/win32/Layout.h"

#include <commctrl.h>
#include <string>

namespace quillmoor::win32 {

namespace {

struct ClassAndStyle {
    const wchar_t* className;
    DWORD style;
    DWORD exStyle;
};

ClassAndStyle StyleOf(Kind kind) {
    constexpr DWORD list = WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT |
                           LBS_HASSTRINGS;
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
    for (int attempt = 0; attempt < 3; ++attempt) {
        RECT rect{};
        ::GetWindowRect(combo, &rect);
        const int now = rect.bottom - rect.top;
        if (now == height)
            return;
        const auto field = ::SendMessageW(combo, CB_GETITEMHEIGHT, static_cast<WPARAM>(-1), 0);
        ::SendMessageW(combo, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), field + height - now);
    }
}

} // namespace

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

void PlaceControls(HWND parent, std::span<const ControlLayout> controls, unsigned dpi,
                   HFONT font) {
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
