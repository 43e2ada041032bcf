#include "app/win32/MessageBox.h"

#include "app/win32/Text.h"

namespace quillmoor::win32 {

namespace {

MessageHook& Hook() {
    static MessageHook hook;
    return hook;
}

} // namespace

int ShowMessage(HWND owner, std::wstring_view text, std::wstring_view title, UINT flags) {
    if (Hook())
        return Hook()(MessageShown{std::wstring(title), std::wstring(text), flags});
    const std::wstring body(text), caption(title);
    return ::MessageBoxW(owner, body.c_str(), caption.c_str(), flags);
}

void ShowFailure(HWND owner, std::string_view text) {
    ShowMessage(owner, Widen(text), L"Quillmoor", MB_OK | MB_ICONERROR);
}

void SetMessageHook(MessageHook hook) { Hook() = std::move(hook); }

} // namespace quillmoor::win32
