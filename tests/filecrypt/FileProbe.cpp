// Opens a file through the file layer from a process of its own, for the
// tests of exclusion between processes on Windows, which has no fork().
//   quillmoor_file_probe read|create|update PATH
// Exit code 0: opened (and closed again), 1: refused, 2: wrong arguments.
#include "common/WindowsApi.h"

#include <shellapi.h>

#include <string>

#include "filecrypt/basFileAPI.h"

int main() {
    int argc = 0;
    wchar_t** argv = ::CommandLineToArgvW(::GetCommandLineW(), &argc);
    if (!argv || argc != 3)
        return 2;
    const std::wstring operation = argv[1];
    const std::filesystem::path path = argv[2];
    ::LocalFree(argv);
    int error = 0;
    quillmoor::FileHandle handle = quillmoor::kInvalidHandle;
    if (operation == L"read")
        handle = quillmoor::OpenExistingForReading(path, error);
    else if (operation == L"create")
        handle = quillmoor::CreateForWriting(path, error);
    else if (operation == L"update")
        handle = quillmoor::OpenExistingForUpdate(path, error);
    else
        return 2;
    if (handle == quillmoor::kInvalidHandle)
        return 1;
    return quillmoor::FlushAndClose(handle) ? 0 : 2;
}
