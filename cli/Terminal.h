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

// Writes all of `text` to `fd`, retrying after interrupted writes; false on failure.
bool WriteAll(int fd, std::string_view text);

} // namespace quillmoor::cli
