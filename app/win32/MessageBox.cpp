#include "app/win32/MessageBox.h"

#include "app/win32/Dpi.h"
#include "app/win32/Handles.h"
#include "app/win32/Text.h"

namespace quillmoor::win32 {

namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

bool BreaksAfter(wchar_t c) { return c == L'\\' || c == L'/' || c == L' '; }

// The text as the box draws it: a line wider than `width` (a long path has
// no space for the box to wrap at) is broken after its last separator that
// fits, or where it must. The characters themselves stay as they are.
std::wstring BrokenToFit(std::wstring_view text, int width, HDC dc) {
    std::wstring out;
    while (!text.empty()) {
        const std::size_t end = text.find(L'\n');
        std::wstring_view line = text.substr(0, end);
        while (!line.empty()) {
            int fit = 0;
            SIZE size{};
            ::GetTextExtentExPointW(dc, line.data(), static_cast<int>(line.size()), width, &fit,
                                    nullptr, &size);
            auto cut = static_cast<std::size_t>(fit < 1 ? 1 : fit);
            if (cut < line.size()) {
                std::size_t at = cut;
                while (at > 0 && !BreaksAfter(line[at - 1]))
                    --at;
                cut = at > 0 ? at : cut;
            }
            out.append(line.substr(0, cut));
            line.remove_prefix(cut);
            if (!line.empty())
                out += L'\n';
        }
        if (end == std::wstring_view::npos)
            break;
        out += L'\n';
        text.remove_prefix(end + 1);
    }
    return out;
}

// The widest line a box on the owner's monitor can hold: the work area less
// the icon, the margins and the frame.
std::wstring FittedText(HWND owner, std::wstring_view text) {
    const RECT area = WorkAreaNear(owner);
    const unsigned dpi = WindowDpi(owner);
    const int width = (area.right - area.left) * 3 / 4 - ::MulDiv(96, static_cast<int>(dpi), 96);
    const Font font = CreateMessageFont(dpi);
    const WindowDc screen(nullptr);
    const Selected selected(screen.get(), font.get());
    return BrokenToFit(text, width > 0 ? width : 1, screen.get());
}

// Every box opens inside the work area of its monitor, whatever its owner's
// place.
LRESULT CALLBACK KeepBoxInside(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE)
        KeepInsideWorkArea(reinterpret_cast<HWND>(wParam));
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

} // namespace

int ShowMessage(HWND owner, std::wstring_view text, std::wstring_view title, UINT flags) {
    if (Hook())
        return Hook()(MessageShown{std::wstring(title), std::wstring(text), flags});
    const std::wstring body = FittedText(owner, text), caption(title);
    const WindowsHook inside(
        ::SetWindowsHookExW(WH_CBT, KeepBoxInside, nullptr, ::GetCurrentThreadId()));
    return ::MessageBoxW(owner, body.c_str(), caption.c_str(), flags);
}

namespace {

UINT FlagsOf(const commands::Box& box) {
    using commands::BoxAnswer, commands::BoxButtons, commands::BoxIcon;
    UINT flags = 0;
    switch (box.icon) {
    case BoxIcon::Information: flags |= MB_ICONINFORMATION; break;
    case BoxIcon::Warning: flags |= MB_ICONWARNING; break;
    case BoxIcon::Question: flags |= MB_ICONQUESTION; break;
    case BoxIcon::Error: flags |= MB_ICONERROR; break;
    }
    switch (box.buttons) {
    case BoxButtons::Ok: flags |= MB_OK; break;
    case BoxButtons::OkCancel: flags |= MB_OKCANCEL; break;
    case BoxButtons::YesNo: flags |= MB_YESNO; break;
    }
    const bool second =
        box.defaultAnswer == BoxAnswer::Cancel || box.defaultAnswer == BoxAnswer::No;
    return flags | (second ? MB_DEFBUTTON2 : MB_DEFBUTTON1);
}

commands::BoxAnswer AnswerOf(int id, commands::BoxButtons buttons) {
    using commands::BoxAnswer;
    switch (id) {
    case IDOK: return BoxAnswer::Ok;
    case IDYES: return BoxAnswer::Yes;
    case IDNO: return BoxAnswer::No;
    default: return buttons == commands::BoxButtons::YesNo ? BoxAnswer::No : BoxAnswer::Cancel;
    }
}

} // namespace

commands::BoxAnswer ShowMessage(HWND owner, const commands::Box& box) {
    return AnswerOf(ShowMessage(owner, Widen(box.text), Widen(box.title), FlagsOf(box)),
                    box.buttons);
}

void ShowFailure(HWND owner, std::string_view text) {
    ShowMessage(owner, commands::ErrorBox(std::string(text)));
}

void SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

} // namespace quillmoor::win32
