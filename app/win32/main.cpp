#include "app/win32/Win32.h"

#include <commctrl.h>
#include <exception>
#include <objbase.h>
#include <shellapi.h>

#include "app/commands/ProcessSafety.h"
#include "app/win32/Form1.h"
#include "app/win32/MessageBox.h"
#include "app/win32/MessageLoop.h"

// quillmoor.exe [FILE]: the window, with FILE selected when one is given.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int show) {
    quillmoor::commands::ProtectProcessSecrets();
    // A drive without a medium is reported by the lists, not by a system box.
    ::SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX),
                                        ICC_STANDARD_CLASSES | ICC_PROGRESS_CLASS};
    ::InitCommonControlsEx(&controls);
    // The taskbar's progress is a COM object of this thread.
    const HRESULT com = ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    try {
        quillmoor::win32::Form1 window([] { ::PostQuitMessage(0); });
        window.Show(show);
        int count = 0;
        if (LPWSTR* args = ::CommandLineToArgvW(::GetCommandLineW(), &count)) {
            if (count >= 2)
                window.OpenFile(args[1]);
            ::LocalFree(args);
        }
        const int code = quillmoor::win32::RunMessageLoop();
        if (SUCCEEDED(com))
            ::CoUninitialize();
        return code;
    } catch (const std::exception& e) {
        quillmoor::win32::ShowFailure(nullptr, e.what());
        return 1;
    }
}
