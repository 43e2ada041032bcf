// Another process's view of a running window: waits for the main window, then prints the file
// list's selected name (UTF-8) and exits 0; exits 1 when no window came or nothing is selected. The
// installer test uses it to see a file opened through its association arrive selected.
#include <windows.h>

#include <string>

#include "app/win32/Controls.h"

namespace {

// The file list of the main window, once both exist (up to 30 seconds: the
// first program in a fresh wine prefix takes a while to start).
HWND FileList() {
    for (int tries = 0; tries < 300; ++tries) {
        if (const HWND window = ::FindWindowW(L"QuillmoorMain", nullptr))
            if (const HWND list = ::GetDlgItem(window, quillmoor::win32::IDC_File1))
                return list;
        ::Sleep(100);
    }
    return nullptr;
}

} // namespace

int main() {
    const HWND list = FileList();
    if (!list)
        return 1;
    // The list fills once the window has read the folder: wait for a selection.
    LRESULT index = LB_ERR;
    for (int tries = 0; tries < 300 && index == LB_ERR; ++tries) {
        index = ::SendMessageW(list, LB_GETCURSEL, 0, 0);
        if (index == LB_ERR)
            ::Sleep(100);
    }
    if (index == LB_ERR)
        return 1;
    const LRESULT length = ::SendMessageW(list, LB_GETTEXTLEN, index, 0);
    std::wstring name(static_cast<std::size_t>(length > 0 ? length : 0) + 1, L'\0');
    ::SendMessageW(list, LB_GETTEXT, index, reinterpret_cast<LPARAM>(name.data()));
    name.resize(name.find(L'\0'));
    std::string utf8(name.size() * 3 + 1, '\0');
    const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, name.c_str(), -1, utf8.data(),
                                            static_cast<int>(utf8.size()), nullptr, nullptr);
    utf8.resize(bytes > 0 ? static_cast<std::size_t>(bytes - 1) : 0);
    DWORD written = 0;
    ::WriteFile(::GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()),
                &written, nullptr);
    return 0;
}
