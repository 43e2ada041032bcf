#include "cli/Input.h"

#include <algorithm>
#include <array>
#include <cerrno>

#include <fcntl.h>

#include "cli/Terminal.h"

#ifdef _WIN32
#include <filesystem>
#include <io.h>

#include "common/WindowsApi.h"
#else
#include <poll.h>
#include <unistd.h>
#endif

namespace quillmoor::cli {

namespace {

// Waits up to a fifth of a second for input. An interrupt that lands just
// before a blocking read would otherwise go unseen until the user types.
bool WaitForInput(int fd) {
#ifdef _WIN32
    (void)fd;
    return true;
#else
    if (fd < 0)
        return true; // poll() would ignore it for ever; read() reports it
    pollfd watch{fd, POLLIN, 0};
    const int ready = ::poll(&watch, 1, 200);
    return ready > 0 || (ready < 0 && errno != EINTR); // a real error is for read() to report
#endif
}

} // namespace

LineStatus ReadFirstLine(int fd, SecretText& line, int& error,
                         const std::function<bool()>& interrupted, std::size_t limit) {
    line.Wipe();
    line.reserve(256);
    SecretObject<std::array<char, 256>> buffer;
    char* const chunk = buffer->data();
    LineStatus status = LineStatus::Ok;
    for (;;) {
        if (interrupted && interrupted()) {
            status = LineStatus::Interrupted;
            error = EINTR;
            break;
        }
        if (!WaitForInput(fd))
            continue; // look at the interrupt flag again
        const long got = ReadText(fd, chunk, buffer->size());
        if (got < 0) {
            if (errno == EINTR && !(interrupted && interrupted()))
                continue;
            status = errno == EINTR ? LineStatus::Interrupted : LineStatus::Failed;
            error = errno;
            break;
        }
        if (got == 0)
            break;
        const char* end = chunk + got;
        const char* feed = std::find(static_cast<const char*>(chunk), end, '\n');
        const auto count = static_cast<std::size_t>(feed - chunk);
        if (count > limit - line.size()) {
            status = LineStatus::TooLong;
            break;
        }
        line.append(chunk, count);
        if (feed != end)
            break;
    }
    if (status != LineStatus::Ok) {
        line.Wipe();
        return status;
    }
    DropLineEnd(line);
    return LineStatus::Ok;
}

int OpenLineFile(const std::string& path, int& error) {
#ifdef _WIN32 // arguments are UTF-8 here; the wide call reaches any name
    const auto name = std::filesystem::path(std::u8string(path.begin(), path.end()));
    const int fd = ::_wopen(name.c_str(), _O_RDONLY | _O_BINARY);
#else
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
#endif
    if (fd < 0)
        error = errno;
    return fd;
}

void CloseLineFile(int fd) { ::close(fd); }

bool IsTerminal(int fd) { return ::isatty(fd) == 1; }

LineStatus ReadFirstLineOfFile(const std::string& path, SecretText& line, int& error,
                               const std::function<bool()>& interrupted) {
    const int fd = OpenLineFile(path, error);
    if (fd < 0) {
        line.Wipe();
        return LineStatus::NotOpened;
    }
    const LineStatus status = ReadFirstLine(fd, line, error, interrupted);
    CloseLineFile(fd);
    DropByteOrderMark(line);
    return status;
}

void DropByteOrderMark(SecretText& line) {
    // The bytes erase() leaves past the end are zeroed when the line goes.
    if (line.starts_with("\xEF\xBB\xBF"))
        line.erase(0, 3);
}

void DropLineEnd(SecretText& line) {
    // What pop_back() leaves past the end is zeroed when the line goes.
    if (line.ends_with('\n'))
        line.pop_back();
    if (line.ends_with('\r'))
        line.pop_back();
}

#ifdef _WIN32
// The console's echo flag; fd_ is a C runtime descriptor, so its console handle is looked up.
EchoOff::EchoOff(int fd) : fd_(fd) {
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd_));
    DWORD mode = 0;
    if (!::GetConsoleMode(console, &mode))
        return;
    saved_ = mode;
    restore_ = ::SetConsoleMode(console, mode & ~static_cast<DWORD>(ENABLE_ECHO_INPUT)) != 0;
}

EchoOff::~EchoOff() {
    if (restore_)
        ::SetConsoleMode(reinterpret_cast<HANDLE>(::_get_osfhandle(fd_)), saved_);
}

void EchoOff::Renew() {} // nothing stops a Windows console program and gives its echo back
#else
EchoOff::EchoOff(int fd) : fd_(fd) {
    if (::tcgetattr(fd_, &saved_) != 0)
        return;
    struct termios quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    restore_ = ::tcsetattr(fd_, TCSAFLUSH, &quiet) == 0;
}

EchoOff::~EchoOff() {
    if (restore_)
        ::tcsetattr(fd_, TCSAFLUSH, &saved_);
}

void EchoOff::Renew() {
    struct termios now {};
    if (!restore_ || ::tcgetattr(fd_, &now) != 0 || (now.c_lflag & ECHO) == 0)
        return;
    now.c_lflag &= ~static_cast<tcflag_t>(ECHO | ECHOE | ECHOK | ECHONL);
    ::tcsetattr(fd_, TCSANOW, &now);
}
#endif

} // namespace quillmoor::cli
