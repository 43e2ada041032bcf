#pragma once

#include <cstdint>
#include <functional>
#include <ostream>
#include <string>

namespace quillmoor::cli {

// Work of at least this many bytes gets a bar; shorter work is over before
// a bar would help.
inline constexpr std::uint64_t kProgressMinBytes = std::uint64_t{16} << 20;

// A one-line progress bar on a terminal, redrawn in place when the whole
// percentage changes and cleared again when the work ends. Also the place
// where an interrupt from the user turns into a cancel.
class ProgressBar {
  public:
    ProgressBar(std::ostream& err, std::string label, bool enabled,
                std::function<bool()> interrupted);
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    // The callback the file routines take: false cancels.
    bool Update(std::uint64_t done, std::uint64_t total);

  private:
    std::ostream& err_;
    std::string label_;
    bool enabled_;
    std::function<bool()> interrupted_;
    int shownPercent_ = -1;
};

} // namespace quillmoor::cli
