#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "common/Progress.h"

namespace quillmoor::cli {

// Work of at least this many bytes gets a bar; shorter work is over before
// a bar would help.
inline constexpr std::uint64_t kProgressMinBytes = std::uint64_t{16} << 20;

// What one line of the bar shows.
struct ProgressLine {
    std::string name;          // the file, as typed
    std::size_t index = 0;     // its place among the files, from 0
    std::size_t count = 1;     // how many files; "[i/n]" shows when more than one
    std::uint64_t done = 0;    // bytes of this file
    std::uint64_t total = 0;   // 0: not known (a pipe)
    double bytesPerSecond = 0; // over all files so far
};

// The line fitted into `columns` (the last one is left free, so a terminal
// never wraps): the name is cut at the front, on whole characters, and the
// bar, then the figures, give way when even that is not enough.
std::string FormatProgressLine(const ProgressLine& line, std::size_t columns);

// "512 B", "1.5 KiB", "32.0 MiB", "2.0 GiB".
std::string ByteCount(std::uint64_t bytes);

// The last `columns` characters of UTF-8 text, "..." in front when cut; never
// splits a character. Control characters show as '?'.
std::string TailOnWholeCharacters(std::string_view text, std::size_t columns);

// Columns of the terminal on descriptor `fd` (TIOCGWINSZ; the console buffer
// on Windows), or 80 when that is not known.
std::size_t TerminalColumns(int fd);

// One progress line on a terminal, shared by all files of a run (several
// may be at work at once), redrawn in place at most a few times a second and
// cleared when it is destroyed or before a result line is printed. Also
// where an interrupt from the user turns into a cancel.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, bool enabled, std::function<bool()> interrupted,
                std::size_t count = 1, std::function<std::size_t()> columns = {});
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The callback the file routines take for file `index`: false cancels.
    ProgressCallback For(std::size_t index, std::string name);
    // File `index` is over: it no longer shows.
    void Finished(std::size_t index);
    // Clears the line, runs `print`, and lets the next update draw again.
    void Above(const std::function<void()>& print);

  private:
    struct Slot {
        std::string name;
        std::uint64_t done = 0, total = 0;
        bool active = false;
    };
    bool Update(std::size_t index, std::uint64_t done, std::uint64_t total);
    void ClearLocked();

    std::ostream& err_;
    bool enabled_;
    std::function<bool()> interrupted_;
    std::function<std::size_t()> columns_;
    std::mutex mutex_;
    std::vector<Slot> slots_;
    std::uint64_t bytesTotal_ = 0; // over all files, for the rate
    std::chrono::steady_clock::time_point start_, drawn_;
    bool shown_ = false;
};

} // namespace quillmoor::cli
