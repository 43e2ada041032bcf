#include "cli/Terminal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <streambuf>
#include <string>

#include <fcntl.h>
#ifdef _WIN32
#include <io.h>

#include "common/Secret.h"
#include "common/WindowsApi.h"
#else
#include <unistd.h>
#endif

namespace quillmoor::cli {

std::size_t WholeCharacters(std::string_view text) {
    // A character is at most 4 bytes: its lead byte is among the last 4.
    for (std::size_t back = 1; back <= std::min<std::size_t>(4, text.size()); ++back) {
        const auto byte = static_cast<unsigned char>(text[text.size() - back]);
        if ((byte & 0xC0) == 0x80)
            continue; // a continuation byte
        const std::size_t length = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
        return length > back && byte < 0xF8 ? text.size() - back : text.size();
    }
    return text.size();
}

#ifdef _WIN32
namespace {

// The console behind a C runtime descriptor, or none.
HANDLE ConsoleOf(int fd) {
    const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) ? handle : nullptr;
}

bool WriteConsoleText(HANDLE console, std::string_view text) {
    if (text.empty())
        return true;
    std::wstring wide(text.size(), L'\0'); // never more UTF-16 units than UTF-8 bytes
    const int units = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                            wide.data(), static_cast<int>(wide.size()));
    for (int at = 0; at < units;) {
        DWORD written = 0;
        if (!::WriteConsoleW(console, wide.data() + at, static_cast<DWORD>(units - at), &written,
                             nullptr) ||
            written == 0)
            return false;
        at += static_cast<int>(written);
    }
    return units > 0;
}

// std::cout or std::cerr on a console: whole characters go out at once, the
// start of one cut by a flush waits for the rest.
class ConsoleTextBuffer final : public std::streambuf {
  public:
    explicit ConsoleTextBuffer(HANDLE console) : console_(console) {}
    ~ConsoleTextBuffer() override { (void)Flush(pending_.size()); }

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof()))
            pending_.push_back(traits_type::to_char_type(c));
        return Flush(WholeCharacters(pending_)) ? traits_type::not_eof(c) : traits_type::eof();
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        pending_.append(text, static_cast<std::size_t>(count));
        return Flush(WholeCharacters(pending_)) ? count : 0;
    }
    int sync() override { return Flush(WholeCharacters(pending_)) ? 0 : -1; }

  private:
    bool Flush(std::size_t count) {
        const bool written =
            WriteConsoleText(console_, std::string_view(pending_).substr(0, count));
        pending_.erase(0, count);
        return written;
    }

    HANDLE console_;
    std::string pending_;
};

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
    if (const HANDLE console = ConsoleOf(fd))
        return WriteConsoleText(console, text);
    while (!text.empty()) {
        const int put = ::_write(fd, text.data(), static_cast<unsigned>(text.size()));
        if (put <= 0)
            return false;
        text.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}
long ReadText(int fd, char* buffer, std::size_t size) {
    const HANDLE console = ConsoleOf(fd);
    if (!console)
        return ::_read(fd, buffer, static_cast<unsigned>(std::min<std::size_t>(size, 1U << 30)));
    // Up to a third of `size` in UTF-16 units, each at most 3 bytes of UTF-8;
    // a pair's second half is read with its first, so no character is cut.
    SecretObject<std::array<wchar_t, 64>> wide;
    const DWORD room = static_cast<DWORD>(std::clamp<std::size_t>(size / 3, 1, 63));
    DWORD got = 0;
    if (!::ReadConsoleW(console, wide->data(), room, &got, nullptr)) {
        errno = ::GetLastError() == ERROR_OPERATION_ABORTED ? EINTR : EIO;
        return -1;
    }
    DWORD more = 0;
    if (got > 0 && IS_HIGH_SURROGATE((*wide)[got - 1]) &&
        ::ReadConsoleW(console, wide->data() + got, 1, &more, nullptr))
        got += more;
    if (got == 0)
        return 0;
    return ::WideCharToMultiByte(CP_UTF8, 0, wide->data(), static_cast<int>(got), buffer,
                                 static_cast<int>(size), nullptr, nullptr);
}

ConsoleText::ConsoleText(std::ostream& stream, int fd) : stream_(stream) {
    if (const HANDLE console = ConsoleOf(fd)) {
        buffer_ = std::make_unique<ConsoleTextBuffer>(console);
        before_ = stream_.rdbuf(buffer_.get());
    }
}

ConsoleText::~ConsoleText() {
    if (!buffer_)
        return;
    stream_.flush();
    stream_.rdbuf(before_);
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

long ReadText(int fd, char* buffer, std::size_t size) { return ::read(fd, buffer, size); }

ConsoleText::ConsoleText(std::ostream& stream, int /*fd*/) : stream_(stream) {}

ConsoleText::~ConsoleText() = default;
#endif

} // namespace quillmoor::cli
