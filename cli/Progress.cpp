#include "cli/Progress.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#ifdef _WIN32
#include <io.h>

#include "common/WindowsApi.h"
#else
#include <sys/ioctl.h>
#endif

namespace quillmoor::cli {

namespace {

constexpr std::size_t kDefaultColumns = 80;
constexpr std::size_t kBarCells = 20;
constexpr std::size_t kFewestCells = 10;
constexpr std::size_t kShortestName = 8;
constexpr auto kRedrawEvery = std::chrono::milliseconds(100);

bool IsContinuation(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::size_t CharacterCount(std::string_view text) {
    return static_cast<std::size_t>(
        std::count_if(text.begin(), text.end(), [](char c) { return !IsContinuation(c); }));
}

} // namespace

std::string ByteCount(std::uint64_t bytes) {
    static constexpr const char* kUnits[] = {"KiB", "MiB", "GiB", "TiB"};
    if (bytes < 1024)
        return std::to_string(bytes) + " B";
    double value = static_cast<double>(bytes) / 1024;
    std::size_t unit = 0;
    for (; value >= 1024 && unit + 1 < std::size(kUnits); ++unit)
        value /= 1024;
    char text[32];
    std::snprintf(text, sizeof text, "%.1f %s", value, kUnits[unit]);
    return text;
}

std::string TailOnWholeCharacters(std::string_view text, std::size_t columns) {
    std::string shown;
    if (CharacterCount(text) > columns) {
        const std::size_t keep = columns > 3 ? columns - 3 : 0;
        std::size_t start = text.size();
        for (std::size_t kept = 0; start > 0 && kept < keep;) {
            --start;
            if (!IsContinuation(text[start]))
                ++kept;
        }
        text.remove_prefix(start);
        shown = std::string("...").substr(0, std::min<std::size_t>(columns, 3));
    }
    for (const char c : text)
        shown.push_back(static_cast<unsigned char>(c) < 0x20 || c == 0x7F ? '?' : c);
    return shown;
}

std::string FormatProgressLine(const ProgressLine& line, std::size_t columns) {
    const std::size_t usable = columns > 1 ? columns - 1 : 0;
    // Appended piece by piece: GCC 12 warns falsely (-Wrestrict) about "[" + std::to_string().
    std::string position;
    if (line.count > 1) {
        position += '[';
        position += std::to_string(line.index + 1);
        position += '/';
        position += std::to_string(line.count);
        position += "] ";
    }
    std::uint64_t percent = 0;
    std::string percentText, sizes = "  ", rate;
    sizes += ByteCount(line.done);
    if (line.total > 0) {
        percent = std::min<std::uint64_t>(100, line.done * 100 / line.total);
        percentText.append(" ").append(std::to_string(percent)).append("%");
        sizes.append(" / ").append(ByteCount(line.total));
    }
    if (line.bytesPerSecond > 0)
        rate.append("  ")
            .append(ByteCount(static_cast<std::uint64_t>(line.bytesPerSecond)))
            .append("/s");
    // What the name and the bar may share; the figures give way from the
    // right when even a short name would not fit.
    const auto room = [&] {
        const std::size_t fixed = position.size() + percentText.size() + sizes.size() + rate.size();
        return usable > fixed ? usable - fixed : 0;
    };
    for (std::string* part : {&rate, &sizes, &percentText})
        if (room() < kShortestName)
            part->clear();
    // The bar takes what the name leaves, from a few cells up to its full width.
    const std::size_t nameColumns = CharacterCount(line.name);
    std::string bar;
    if (line.total > 0 && room() >= kShortestName + kFewestCells + 3) {
        const std::size_t cells = std::clamp(
            room() - std::min(room() - kFewestCells - 3, nameColumns) - 3, kFewestCells, kBarCells);
        const auto filled = static_cast<std::size_t>(percent * cells / 100);
        bar.append(" [").append(filled, '#').append(cells - filled, '.').append("]");
    }
    const std::size_t nameRoom = room() > bar.size() ? room() - bar.size() : 0;
    std::string text =
        position + TailOnWholeCharacters(line.name, nameRoom) + bar + percentText + sizes + rate;
    if (CharacterCount(text) > usable)
        text = TailOnWholeCharacters(text, usable);
    return text;
}

std::size_t TerminalColumns(int fd) {
#ifdef _WIN32
    CONSOLE_SCREEN_BUFFER_INFO info{};
    const HANDLE console = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
    if (::GetConsoleScreenBufferInfo(console, &info) && info.srWindow.Right > info.srWindow.Left)
        return static_cast<std::size_t>(info.srWindow.Right - info.srWindow.Left + 1);
#else
    struct winsize size {};
    if (::ioctl(fd, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return kDefaultColumns;
}

ProgressBar::ProgressBar(std::ostream& err, bool enabled, std::function<bool()> interrupted,
                         std::size_t count, std::function<std::size_t()> columns)
    : err_(err), enabled_(enabled), interrupted_(std::move(interrupted)),
      columns_(std::move(columns)), slots_(std::max<std::size_t>(count, 1)),
      start_(std::chrono::steady_clock::now()) {}

ProgressBar::~ProgressBar() {
    std::lock_guard lock(mutex_);
    ClearLocked();
}

ProgressCallback ProgressBar::For(std::size_t index, std::string name) {
    {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_.at(index);
        slot = Slot{std::move(name), 0, 0, true};
    }
    return [this, index](std::uint64_t done, std::uint64_t total) {
        return Update(index, done, total);
    };
}

void ProgressBar::Finished(std::size_t index) {
    std::lock_guard lock(mutex_);
    slots_.at(index).active = false;
}

void ProgressBar::Above(const std::function<void()>& print) {
    std::lock_guard lock(mutex_);
    ClearLocked();
    print();
}

void ProgressBar::ClearLocked() {
    if (shown_)
        err_ << "\r\033[K" << std::flush;
    shown_ = false;
}

bool ProgressBar::Update(std::size_t index, std::uint64_t done, std::uint64_t total) {
    if (enabled_) {
        std::lock_guard lock(mutex_);
        Slot& slot = slots_.at(index);
        bytesTotal_ += done >= slot.done ? done - slot.done : 0;
        slot.done = done;
        slot.total = total;
        // The earliest file still at work is the one shown.
        const auto shown = std::find_if(slots_.begin(), slots_.end(), [](const Slot& s) {
            return s.active &&
                   (s.total >= kProgressMinBytes || (s.total == 0 && s.done >= kProgressMinBytes));
        });
        const auto now = std::chrono::steady_clock::now();
        const bool finished = total > 0 && done >= total; // the end always shows
        if (shown != slots_.end() && (!shown_ || finished || now - drawn_ >= kRedrawEvery)) {
            const double seconds = std::chrono::duration<double>(now - start_).count();
            ProgressLine line{
                shown->name,   static_cast<std::size_t>(shown - slots_.begin()),
                slots_.size(), shown->done,
                shown->total,  seconds > 0.2 ? static_cast<double>(bytesTotal_) / seconds : 0};
            const std::size_t columns = columns_ ? columns_() : kDefaultColumns;
            err_ << '\r' << FormatProgressLine(line, columns) << "\033[K" << std::flush;
            shown_ = true;
            drawn_ = now;
        }
    }
    return !(interrupted_ && interrupted_());
}

} // namespace quillmoor::cli
