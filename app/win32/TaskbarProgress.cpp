#include "app/win32/TaskbarProgress.h"

#include <shobjidl.h>

namespace quillmoor::win32 {

namespace {

constexpr int kSteps = 1000;

std::function<void(int)>& Observer() {
    static std::function<void(int)> observer;
    return observer;
}

} // namespace

TaskbarProgress::TaskbarProgress(HWND window) : window_(window) {
    void* list = nullptr;
    if (SUCCEEDED(::CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                                     IID_ITaskbarList3, &list))) {
        list_ = static_cast<ITaskbarList3*>(list);
        if (FAILED(list_->HrInit())) {
            list_->Release();
            list_ = nullptr;
        }
    }
}

TaskbarProgress::~TaskbarProgress() {
    if (list_) {
        list_->SetProgressState(window_, TBPF_NOPROGRESS);
        list_->Release();
    }
    if (Observer() && last_ >= 0)
        Observer()(-1);
}

void TaskbarProgress::Show(std::uint64_t done, std::uint64_t total) {
    if (total == 0)
        return;
    const int permille = static_cast<int>(done * kSteps / total);
    if (permille == last_)
        return;
    last_ = permille;
    if (list_)
        list_->SetProgressValue(window_, static_cast<ULONGLONG>(permille), kSteps);
    if (Observer())
        Observer()(permille);
}

void TaskbarProgress::SetObserver(std::function<void(int)> observer) {
    Observer() = std::move(observer);
}

} // namespace quillmoor::win32
