#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/commands/WindowDecisions.h"
#include "app/win32/Win32.h"

// Every message box of the window goes through here, so tests can answer a
// box instead of showing it and can read what it would have said.
namespace quillmoor::win32 {

struct MessageShown {
    std::wstring title;
    std::wstring text;
    UINT flags = 0; // MB_ buttons, icon and default button
};

// Shows a modal box and returns the button that closed it (IDOK, IDCANCEL...).
int ShowMessage(HWND owner, std::wstring_view text, std::wstring_view title, UINT flags);
// A box the command layer decided on; its answer (closing it without a
// button gives the safe answer: Cancel, or No).
commands::BoxAnswer ShowMessage(HWND owner, const commands::Box& box);
// A failure, worded by the command layer (UTF-8): an error box with OK.
void ShowFailure(HWND owner, std::string_view text);

// While set, no box is shown: the hook sees it and gives the answer.
using MessageHook = std::function<int(const MessageShown&)>;
void SetMessageHook(MessageHook hook);

} // namespace quillmoor::win32
