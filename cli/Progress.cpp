#include "cli/Progress.h"

#include <utility>

namespace quillmoor::cli {

namespace {

constexpr int kBarWidth = 30;
constexpr std::size_t kLabelWidth = 36;

std::string ShortLabel(const std::string& label) {
    if (label.size() <= kLabelWidth)
        return label;
    return "..." + label.substr(label.size() - (kLabelWidth - 3));
}

} // namespace

ProgressBar::ProgressBar(std::ostream& err, std::string label, bool enabled,
                         std::function<bool()> interrupted)
    : err_(err), label_(ShortLabel(label)), enabled_(enabled),
      interrupted_(std::move(interrupted)) {}

ProgressBar::~ProgressBar() {
    if (shownPercent_ >= 0)
        err_ << "\r\033[K" << std::flush;
}

bool ProgressBar::Update(std::uint64_t done, std::uint64_t total) {
    if (enabled_ && total >= kProgressMinBytes) {
        const int percent = static_cast<int>(done >= total ? 100 : done * 100 / total);
        if (percent != shownPercent_) {
            shownPercent_ = percent;
            const int filled = percent * kBarWidth / 100;
            err_ << '\r' << label_ << " [" << std::string(static_cast<std::size_t>(filled), '#')
                 << std::string(static_cast<std::size_t>(kBarWidth - filled), '.') << "] "
                 << percent << '%' << std::flush;
        }
    }
    return !(interrupted_ && interrupted_());
}

} // namespace quillmoor::cli
