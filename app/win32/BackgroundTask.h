#pragma once

#include <functional>
#include <string_view>

#include "app/win32/Win32.h"
#include "common/Progress.h"

// Runs one long file operation on a worker thread while the window waits.
// Keyboard and mouse input to every window but the progress dialog (and a
// box over it) is swallowed, so no second command can start and change the
// key state under the first; the windows keep repainting, and their title
// bars work, so a close request reaches the window. A progress dialog with
// Cancel appears after the command layer's delay; Cancel makes the progress
// callback return false. The taskbar button shows the progress meanwhile.
namespace quillmoor::win32 {

using Job = std::function<void(const ProgressCallback& progress)>;

// Returns when the job has finished; an exception thrown by the job is
// rethrown here, on the calling thread.
void RunInBackground(HWND owner, std::wstring_view label, const Job& job);

bool Busy();
// The progress dialog while it is shown, else nullptr.
HWND ProgressWindow();
// Cancels the running work, as the dialog's Cancel does.
void CancelWork();

// For tests: show the dialog after `ms` instead of the usual delay.
void SetProgressDialogDelay(unsigned ms);

inline constexpr int kProgressCancel = IDCANCEL;

} // namespace quillmoor::win32
