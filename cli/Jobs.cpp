#include "cli/Jobs.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace quillmoor::cli {

namespace {

unsigned Cores() { return std::max(1u, std::thread::hardware_concurrency()); }

bool Stops(const std::function<bool()>& interrupted) { return interrupted && interrupted(); }

// A job that throws (out of memory) fails alone instead of ending the program.
JobReport Guarded(const std::function<JobReport(std::size_t, unsigned)>& job, std::size_t index,
                  unsigned threads) {
    try {
        return job(index, threads);
    } catch (const std::exception& e) {
        return JobReport{FileResult::Failed, "", std::string("quillmoor-cli: ") + e.what() + "\n"};
    }
}

} // namespace

unsigned JobWorkers(unsigned requested, std::size_t files) {
    const unsigned wanted = requested ? requested : std::min(Cores(), kMaxJobs);
    return static_cast<unsigned>(std::clamp<std::size_t>(files, 1, wanted));
}

unsigned JobThreadBudget(unsigned workers) { return std::max(1u, Cores() / std::max(1u, workers)); }

int RunJobs(std::size_t count, unsigned workers,
            const std::function<JobReport(std::size_t, unsigned)>& job,
            const std::function<void(std::size_t, const JobReport&)>& publish,
            const std::function<bool()>& interrupted) {
    const unsigned threads = JobThreadBudget(workers);
    bool failed = false;
    if (workers <= 1) {
        for (std::size_t i = 0; i < count; ++i) {
            if (Stops(interrupted))
                return 1;
            const JobReport report = Guarded(job, i, threads);
            publish(i, report);
            failed |= report.result != FileResult::Done;
            if (report.result == FileResult::Stop)
                break;
        }
        return failed ? 1 : 0;
    }

    OrderedReports reports(count, publish);
    std::atomic<std::size_t> next{0};
    std::atomic<bool> stop{false};
    std::vector<std::thread> pool;
    for (unsigned w = 0; w < workers; ++w)
        pool.emplace_back([&] {
            for (std::size_t i; !stop && !Stops(interrupted) && (i = next++) < count;) {
                JobReport report = Guarded(job, i, threads);
                if (report.result == FileResult::Stop)
                    stop = true;
                reports.Add(i, std::move(report));
            }
        });
    for (auto& worker : pool)
        worker.join();
    return reports.Status();
}

OrderedReports::OrderedReports(std::size_t count,
                               std::function<void(std::size_t, const JobReport&)> publish)
    : publish_(std::move(publish)), reports_(count) {}

void OrderedReports::Add(std::size_t index, JobReport report) {
    std::lock_guard lock(mutex_);
    reports_.at(index) = std::move(report);
    for (; published_ < reports_.size() && reports_[published_]; ++published_) {
        const JobReport& next = *reports_[published_];
        failed_ |= next.result != FileResult::Done;
        if (!stopped_ || next.result == FileResult::Done)
            publish_(published_, next);
        stopped_ |= next.result == FileResult::Stop;
    }
}

int OrderedReports::Status() {
    std::lock_guard lock(mutex_);
    return failed_ || published_ < reports_.size() ? 1 : 0;
}

} // namespace quillmoor::cli
