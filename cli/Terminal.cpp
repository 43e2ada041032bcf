#include "cli/Terminal.h"

#include <cerrno>

#include <fcntl.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <io.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace quillmoor::cli {

#ifdef _WIN32
namespace {

int OpenConsole(const wchar_t* name, int flags) {
    const HANDLE handle =
        ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), flags);
    if (fd < 0)
        ::CloseHandle(handle);
    return fd;
}

} // namespace

ControllingTerminal::ControllingTerminal() {
    in_ = OpenConsole(L"CONIN$", _O_RDONLY | _O_BINARY);
    out_ = OpenConsole(L"CONOUT$", _O_WRONLY | _O_BINARY);
}

ControllingTerminal::~ControllingTerminal() {
    if (in_ >= 0)
        ::_close(in_);
    if (out_ >= 0)
        ::_close(out_);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const int put = ::_write(fd, text.data(), static_cast<unsigned>(text.size()));
        if (put <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}
#else
ControllingTerminal::ControllingTerminal() {
    // One descriptor both ways, as the terminal is one device.
    in_ = ::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    out_ = in_;
}

ControllingTerminal::~ControllingTerminal() {
    if (in_ >= 0)
        ::close(in_);
}

bool WriteAll(int fd, std::string_view text) {
    while (!text.empty()) {
        const ssize_t put = ::write(fd, text.data(), text.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}
#endif

} // namespace quillmoor::cli
