#pragma once

#include <cstddef>
#include <memory>
#include <ostream>
#include <string_view>

// The controlling terminal, opened for prompts and answers, so that
// standard input and output stay free for data (`ls | xargs quillmoor-cli
// encrypt`, `... -o - | less`) and `2>/dev/null` hides no question.
namespace quillmoor::cli {

class ControllingTerminal {
  public:
    // /dev/tty; CONIN$ and CONOUT$ on Windows. Not open when the process
    // has no terminal (a service, `setsid`, a cron job).
    ControllingTerminal();
    ~ControllingTerminal();
    ControllingTerminal(const ControllingTerminal&) = delete;
    ControllingTerminal& operator=(const ControllingTerminal&) = delete;

    [[nodiscard]] bool IsOpen() const { return in_ >= 0 && out_ >= 0; }
    [[nodiscard]] int In() const { return in_; }
    [[nodiscard]] int Out() const { return out_; }

  private:
    int in_ = -1, out_ = -1;
};

// The systems whose words the help and messages use.
enum class System { Posix, Windows };
#ifdef _WIN32
inline constexpr System kThisSystem = System::Windows;
#else
inline constexpr System kThisSystem = System::Posix;
#endif

// What prompts appear on, as the user knows it there.
constexpr std::string_view TerminalWord(System system = kThisSystem) {
    return system == System::Windows ? "console" : "terminal";
}
// The pager a user would send text to.
constexpr std::string_view PagerWord(System system = kThisSystem) {
    return system == System::Windows ? "more" : "less";
}

// Writes all of `text` to `fd`, retrying after interrupted writes; false on
// failure. Text for a Windows console goes as UTF-16, so names show as they
// are whatever the console's code page.
bool WriteAll(int fd, std::string_view text);

// Reads what is there, up to `size` bytes, as read() does. From a Windows
// console it reads characters and gives them as UTF-8 whatever the console's
// code page, so a password outside that code page arrives as typed. `size`
// must hold at least one character (4 bytes).
long ReadText(int fd, char* buffer, std::size_t size);

// How much of `text` is whole UTF-8 characters: the rest starts one whose
// bytes are still to come. Bytes that start no character count as whole.
std::size_t WholeCharacters(std::string_view text);

// While it lives, what `stream` writes reaches a Windows console as UTF-16,
// as WriteAll's text does; elsewhere, or on anything but a console, it does
// nothing.
class ConsoleText {
  public:
    ConsoleText(std::ostream& stream, int fd);
    ~ConsoleText();
    ConsoleText(const ConsoleText&) = delete;
    ConsoleText& operator=(const ConsoleText&) = delete;

  private:
    std::ostream& stream_;
    std::unique_ptr<std::streambuf> buffer_;
    std::streambuf* before_ = nullptr;
};

} // namespace quillmoor::cli
