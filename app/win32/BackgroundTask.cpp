#include "app/win32/BackgroundTask.h"

#include <atomic>
#include <commctrl.h>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/commands/WindowDecisions.h"
#include "app/win32/Dpi.h"
#include "app/win32/Handles.h"
#include "app/win32/TaskbarProgress.h"
#include "app/win32/resource.h"

namespace quillmoor::win32 {

namespace {

using commands::kProgressPace;

constexpr wchar_t kClassName[] = L"QuillmoorProgress";
constexpr int kBarId = 100;
constexpr int kDialogHeight = 104; // pixels at 96 dpi; the width is the command layer's

unsigned delayMs = kProgressPace.delayMs;
bool busy = false;
HWND shown = nullptr;
std::atomic<bool>* cancelFlag = nullptr;

struct State {
    std::atomic<std::uint64_t> done{0}, total{0};
    std::atomic<bool> cancelled{false};
    Font font;
};

LRESULT CALLBACK ProgressProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* state = OwnerOfWindow<State>(window, message, lParam);
    switch (message) {
    case WM_COMMAND:
        if (LOWORD(wParam) == kProgressCancel && state) {
            state->cancelled.store(true);
            ::EnableWindow(reinterpret_cast<HWND>(lParam), FALSE);
        }
        return 0;
    case WM_CLOSE: // the close box cancels; the window goes when the work ends
        if (state)
            state->cancelled.store(true);
        return 0;
    default: break;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterClassOnce() {
    static const bool registered = RegisterWindowClass(kClassName, ProgressProc);
    (void)registered;
}

// The label, the bar and Cancel, at `dpi`.
void CreateProgressControls(HWND dialog, const std::wstring& label, State& state, unsigned dpi) {
    const auto px = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    state.font = CreateMessageFont(dpi);
    const int inner = kProgressPace.widthPixels - 24;
    const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD extra, int id, int x,
                           int y, int w, int h) {
        HWND control = ::CreateWindowExW(
            0, kind, text, WS_CHILD | WS_VISIBLE | extra, px(x), px(y), px(w), px(h), dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font.get()), FALSE);
        return control;
    };
    child(L"STATIC", label.c_str(), SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, -1, 12, 12, inner, 20);
    HWND bar = child(PROGRESS_CLASSW, L"", 0, kBarId, 12, 38, inner, 18);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, kProgressPace.steps);
    HWND cancel = child(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kProgressCancel,
                        kProgressPace.widthPixels - 92, 68, 80, 26);
    ::SetFocus(cancel);
}

// Centred on the owner, inside the work area of the owner's monitor.
HWND CreateProgressDialog(HWND owner, const std::wstring& label, State& state) {
    RegisterClassOnce();
    const unsigned dpi = WindowDpi(owner);
    const auto px = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    const SIZE size =
        WindowSizeForClient(px(kProgressPace.widthPixels), px(kDialogHeight), style, exStyle, dpi);
    RECT at{};
    ::GetWindowRect(owner, &at);
    const POINT corner =
        PlaceInside(WorkAreaNear(owner), {(at.left + at.right) / 2, (at.top + at.bottom) / 2},
                    size.cx, size.cy);
    HWND dialog =
        ::CreateWindowExW(exStyle, kClassName, L"Quillmoor", style, corner.x, corner.y, size.cx,
                          size.cy, owner, nullptr, ::GetModuleHandleW(nullptr), &state);
    if (!dialog)
        return nullptr;
    CreateProgressControls(dialog, label, state, dpi);
    ::ShowWindow(dialog, SW_SHOW);
    return dialog;
}

void UpdateBar(HWND dialog, const State& state, TaskbarProgress& taskbar) {
    const std::uint64_t total = state.total.load(std::memory_order_relaxed);
    if (total == 0)
        return;
    const std::uint64_t done = state.done.load(std::memory_order_relaxed);
    taskbar.Show(done, total);
    if (dialog)
        ::SendDlgItemMessageW(dialog, kBarId, PBM_SETPOS,
                              static_cast<WPARAM>(done * kProgressPace.steps / total), 0);
}

bool IsUserInput(UINT message) {
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST && message != WM_SYSKEYDOWN &&
            message != WM_SYSKEYUP && message != WM_SYSCHAR) ||
           (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

// Input for anything but the progress dialog goes nowhere while the work
// runs. The title bars (non-client messages) and Alt+F4 still work, so a
// close request reaches its window, which asks.
bool Swallowed(const MSG& msg) {
    if (!IsUserInput(msg.message))
        return false;
    return !shown || (msg.hwnd != shown && !::IsChild(shown, msg.hwnd));
}

// What the wait loop passed on: a WM_QUIT is kept for the outer loop.
struct Quit {
    bool seen = false;
    WPARAM code = 0;
};

void DispatchWaiting(Quit& quit) {
    MSG msg;
    while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            quit = {true, msg.wParam};
            continue;
        }
        if (Swallowed(msg) || (shown && ::IsDialogMessageW(shown, &msg)))
            continue;
        ::TranslateMessage(&msg);
        ::DispatchMessageW(&msg);
    }
}

// Pumps messages until `finished` is set, showing the dialog after the delay.
Quit WaitFor(HANDLE finished, HWND owner, const std::wstring& label, State& state) {
    TaskbarProgress taskbar(owner);
    const ULONGLONG start = ::GetTickCount64();
    Quit quit;
    for (;;) {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        const DWORD wait = shown || elapsed >= delayMs ? kProgressPace.refreshMs
                                                       : static_cast<DWORD>(delayMs - elapsed);
        if (::MsgWaitForMultipleObjectsEx(1, &finished, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_OBJECT_0)
            return quit;
        if (!shown && !state.cancelled.load() && ::GetTickCount64() - start >= delayMs)
            shown = CreateProgressDialog(owner, label, state);
        UpdateBar(shown, state, taskbar);
        DispatchWaiting(quit);
    }
}

} // namespace

bool Busy() { return busy; }

HWND ProgressWindow() { return shown; }

void CancelWork() {
    if (cancelFlag)
        cancelFlag->store(true);
}

void SetProgressDialogDelay(unsigned ms) { delayMs = ms; }

void RunInBackground(HWND owner, std::wstring_view label, const Job& job) {
    State state;
    const ProgressCallback progress = [&state](std::uint64_t done, std::uint64_t total) {
        state.done.store(done, std::memory_order_relaxed);
        state.total.store(total, std::memory_order_relaxed);
        return !state.cancelled.load();
    };
    const Event finished(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!finished)
        throw std::runtime_error("cannot start the work: no event");

    busy = true;
    cancelFlag = &state.cancelled;
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        ::SetEvent(finished.get());
    });
    const Quit quit = WaitFor(finished.get(), owner, std::wstring(label), state);
    worker.join();

    if (shown) {
        ::DestroyWindow(shown);
        shown = nullptr;
    }
    cancelFlag = nullptr;
    busy = false;
    if (quit.seen)
        ::PostQuitMessage(static_cast<int>(quit.code));
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmoor::win32
