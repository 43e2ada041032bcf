#include "app/win32/BackgroundTask.h"

#include <atomic>
#include <commctrl.h>
#include <exception>
#include <stdexcept>
#include <string>
#include <thread>

#include "app/win32/Dpi.h"
#include "app/win32/resource.h"

namespace quillmoor::win32 {

namespace {

constexpr unsigned kDefaultDelayMs = 500;
// The worker only stores numbers; the dialog reads them at this pace, so a
// fast operation costs no message per chunk.
constexpr DWORD kPollMs = 50;
constexpr int kSteps = 1000;
constexpr wchar_t kClassName[] = L"QuillmoorProgress";
constexpr int kBarId = 100;

unsigned delayMs = kDefaultDelayMs;
bool busy = false;
HWND shown = nullptr;

struct State {
    std::atomic<std::uint64_t> done{0}, total{0};
    std::atomic<bool> cancelled{false};
    HFONT font = nullptr;
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

HWND CreateProgressDialog(HWND owner, const std::wstring& label, State& state) {
    RegisterClassOnce();
    const unsigned dpi = WindowDpi(owner);
    const auto px = [dpi](int pixels) { return ::MulDiv(pixels, static_cast<int>(dpi), 96); };
    const DWORD style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
    const DWORD exStyle = WS_EX_DLGMODALFRAME;
    const SIZE size = WindowSizeForClient(px(360), px(104), style, exStyle, dpi);
    RECT at{};
    ::GetWindowRect(owner, &at);
    const HINSTANCE instance = ::GetModuleHandleW(nullptr);
    HWND dialog = ::CreateWindowExW(
        exStyle, kClassName, L"Quillmoor", style, (at.left + at.right - size.cx) / 2,
        (at.top + at.bottom - size.cy) / 2, size.cx, size.cy, owner, nullptr, instance, &state);
    if (!dialog)
        return nullptr;
    state.font = CreateMessageFont(dpi);
    const auto child = [&](const wchar_t* kind, const wchar_t* text, DWORD extra, int id, int x,
                           int y, int w, int h) {
        HWND control = ::CreateWindowExW(
            0, kind, text, WS_CHILD | WS_VISIBLE | extra, px(x), px(y), px(w), px(h), dialog,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        ::SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(state.font), FALSE);
        return control;
    };
    child(L"STATIC", label.c_str(), SS_LEFT | SS_PATHELLIPSIS | SS_NOPREFIX, -1, 12, 12, 336, 20);
    HWND bar = child(PROGRESS_CLASSW, L"", 0, kBarId, 12, 38, 336, 18);
    ::SendMessageW(bar, PBM_SETRANGE32, 0, kSteps);
    HWND cancel =
        child(L"BUTTON", L"Cancel", WS_TABSTOP | BS_PUSHBUTTON, kProgressCancel, 268, 68, 80, 26);
    ::ShowWindow(dialog, SW_SHOW);
    ::SetFocus(cancel);
    return dialog;
}

void UpdateBar(HWND dialog, const State& state) {
    const std::uint64_t total = state.total.load(std::memory_order_relaxed);
    if (total == 0)
        return;
    const std::uint64_t done = state.done.load(std::memory_order_relaxed);
    ::SendDlgItemMessageW(dialog, kBarId, PBM_SETPOS, static_cast<WPARAM>(done * kSteps / total),
                          0);
}

} // namespace

bool Busy() { return busy; }

HWND ProgressWindow() { return shown; }

void SetProgressDialogDelay(unsigned ms) { delayMs = ms; }

void RunInBackground(HWND owner, std::wstring_view label, const Job& job) {
    State state;
    const ProgressCallback progress = [&state](std::uint64_t done, std::uint64_t total) {
        state.done.store(done, std::memory_order_relaxed);
        state.total.store(total, std::memory_order_relaxed);
        return !state.cancelled.load();
    };
    const HANDLE finished = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (!finished)
        throw std::runtime_error("cannot start the work: no event");

    busy = true;
    ::EnableWindow(owner, FALSE);
    std::exception_ptr failure;
    std::thread worker([&] {
        try {
            job(progress);
        } catch (...) {
            failure = std::current_exception();
        }
        ::SetEvent(finished);
    });

    const ULONGLONG start = ::GetTickCount64();
    bool quit = false;
    WPARAM quitCode = 0;
    for (;;) {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        const DWORD wait =
            shown || elapsed >= delayMs ? kPollMs : static_cast<DWORD>(delayMs - elapsed);
        if (::MsgWaitForMultipleObjectsEx(1, &finished, wait, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
            WAIT_OBJECT_0)
            break;
        if (!shown && !state.cancelled.load() && ::GetTickCount64() - start >= delayMs)
            shown = CreateProgressDialog(owner, std::wstring(label), state);
        if (shown)
            UpdateBar(shown, state);
        MSG msg;
        while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) { // kept for the outer loop
                quit = true;
                quitCode = msg.wParam;
                continue;
            }
            if (shown && ::IsDialogMessageW(shown, &msg))
                continue;
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    worker.join();
    ::CloseHandle(finished);

    // The owner first, so the activation goes back to it.
    ::EnableWindow(owner, TRUE);
    if (shown) {
        ::DestroyWindow(shown);
        shown = nullptr;
    }
    if (state.font)
        ::DeleteObject(state.font);
    busy = false;
    if (quit)
        ::PostQuitMessage(static_cast<int>(quitCode));
    if (failure)
        std::rethrow_exception(failure);
}

} // namespace quillmoor::win32
