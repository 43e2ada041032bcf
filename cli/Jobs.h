#pragma once

#include <cstddef>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// Several FILE operands at once: encryption is one serial chain per file,
// so files side by side are the only way past the speed of one core.
namespace quillmoor::cli {

// What became of one FILE operand.
enum class FileResult { Done, Failed, Stop };

// One job's outcome and the lines it has for the user, held back until every
// earlier job has been reported.
struct JobReport {
    FileResult result = FileResult::Done;
    std::string out, err;
};

// The most files at once: each job holds a few MiB of buffers.
inline constexpr unsigned kMaxJobs = 64;

// The worker count for `requested` jobs (0: one per core, at most kMaxJobs)
// over `files`.
unsigned JobWorkers(unsigned requested, std::size_t files);
// The threads one job may use, so that the workers together do not ask for
// more than the cores there are (decryption splits a file across threads).
unsigned JobThreadBudget(unsigned workers);

// Reports handed in from any thread and in any order, published in index
// order as a run one after another would publish them. Once a Stop (a
// cancel) is out, only files that were done are still told, for they are
// written; the rest of the run is as if it had ended there.
class OrderedReports {
  public:
    OrderedReports(std::size_t count, std::function<void(std::size_t, const JobReport&)> publish);
    // Publishes this report and every one after it that waited for it.
    void Add(std::size_t index, JobReport report);
    // 0 when every index got a report and each was Done, else 1.
    [[nodiscard]] int Status();

  private:
    std::mutex mutex_;
    std::function<void(std::size_t, const JobReport&)> publish_;
    std::vector<std::optional<JobReport>> reports_;
    std::size_t published_ = 0;
    bool failed_ = false, stopped_ = false;
};

// Runs job(i, threads) for every i below `count` on `workers` threads and
// hands each report to publish(i, report) in index order, as a run one after
// another would. After a Stop, or once interrupted() holds, no job starts.
// With one worker everything runs on the calling thread. Returns 0 when
// every job was Done, else 1.
int RunJobs(std::size_t count, unsigned workers,
            const std::function<JobReport(std::size_t index, unsigned threads)>& job,
            const std::function<void(std::size_t index, const JobReport&)>& publish,
            const std::function<bool()>& interrupted);

} // namespace quillmoor::cli
