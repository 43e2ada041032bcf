#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "app/win32/BackgroundTask.h"
#include "app/win32/Controls.h"
#include "app/win32/Form1.h"
#include "app/win32/MessageBox.h"
#include "app/win32/Text.h"

namespace quillmoor::test {

namespace fs = std::filesystem;

inline std::vector<char> ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void WriteBytes(const fs::path& path, const std::vector<char>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Bytes that are not all alike, so a wrong offset or a lost block shows.
inline std::vector<char> Pattern(std::size_t size) {
    std::vector<char> bytes(size);
    for (std::size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 7 + 3) % 251);
    return bytes;
}

// A main window opened on a fresh working folder, with every message box
// recorded and answered (by `answer`, else by its default button).
class WindowTest : public ::testing::Test {
  protected:
    void SetUp() override {
        wchar_t temp[MAX_PATH + 1] = {};
        ::GetTempPathW(MAX_PATH, temp);
        folder_ = fs::path(temp) / ("quillmoor-window-" + std::to_string(::GetCurrentProcessId()) +
                                    "-" + std::to_string(++count_));
        fs::create_directories(folder_);
        start_ = fs::current_path();
        fs::current_path(folder_);
        win32::SetMessageHook([this](const win32::MessageShown& box) {
            shown_.push_back(box);
            if (answer_ != 0)
                return answer_;
            const bool second = (box.flags & MB_DEFMASK) == MB_DEFBUTTON2;
            if ((box.flags & MB_TYPEMASK) == MB_YESNO)
                return second ? IDNO : IDYES;
            return second ? IDCANCEL : IDOK;
        });
        // Not shown: messages drive it all the same, and a shown window
        // takes wine seconds to close when no window manager answers.
        form_ = std::make_unique<win32::Form1>([this] { closed_ = true; });
    }

    void TearDown() override {
        form_.reset();
        win32::SetMessageHook(nullptr);
        win32::SetProgressDialogDelay(500);
        fs::current_path(start_);
        std::error_code ignored;
        fs::remove_all(folder_, ignored);
    }

    HWND Control(int id) const { return form_->Control(id); }
    void SetText(int id, const std::wstring& text) { win32::SetWindowTextOf(Control(id), text); }
    std::wstring Text(int id) const { return win32::WindowText(Control(id)); }
    void Click(int id) { ::SendMessageW(Control(id), BM_CLICK, 0, 0); }
    fs::path At(const std::wstring& name) const { return folder_ / name; }
    // Re-reads the lists as a drop of the file would, and selects it.
    bool Select(const std::wstring& name) { return form_->ShowFile(At(name).native()); }
    bool Listed(const std::wstring& name) const {
        return ::SendMessageW(Control(win32::IDC_File1), LB_FINDSTRINGEXACT,
                              static_cast<WPARAM>(-1),
                              reinterpret_cast<LPARAM>(name.c_str())) != LB_ERR;
    }

    fs::path folder_, start_;
    std::unique_ptr<win32::Form1> form_;
    std::vector<win32::MessageShown> shown_;
    int answer_ = 0;
    bool closed_ = false;
    static inline int count_ = 0;
};

} // namespace quillmoor::test
