#pragma once

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

// Writes all of `text` to `fd`, retrying after interrupted writes; false on failure.
bool WriteAll(int fd, std::string_view text);

} // namespace quillmoor::cli
