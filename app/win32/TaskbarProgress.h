#pragma once

#include <cstdint>
#include <functional>

#include "app/win32/Win32.h"

struct ITaskbarList3;

// The progress of the running work on the window's taskbar button, as a
// long copy shows it. Where the taskbar offers no progress (no COM on the
// thread, an older system) nothing is shown and nothing fails.
namespace quillmoor::win32 {

class TaskbarProgress {
  public:
    explicit TaskbarProgress(HWND window);
    ~TaskbarProgress(); // the button shows no progress again
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    void Show(std::uint64_t done, std::uint64_t total);

    // For tests: sees every value shown, and -1 when it is taken away.
    static void SetObserver(std::function<void(int permille)> observer);

  private:
    HWND window_;
    ::ITaskbarList3* list_ = nullptr;
    int last_ = -1;
};

} // namespace quillmoor::win32
