#pragma once

#include "app/win32/Win32.h"

// The windows whose keyboard navigation (Tab, Enter, Escape) the dialog
// manager handles, and the loops that feed them their messages.
namespace quillmoor::win32 {

// F5 in one of those windows sends it this command: read the lists again.
inline constexpr int kRefreshCommand = 0x7F05;

void AddDialogWindow(HWND window);
void RemoveDialogWindow(HWND window);
// True when one of those windows took the message.
bool RouteDialogMessage(MSG& msg);
// Runs until WM_QUIT; returns its code.
int RunMessageLoop();

} // namespace quillmoor::win32
