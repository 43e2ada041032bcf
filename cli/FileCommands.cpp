#include "cli/FileCommands.h"

#include <algorithm>
#include <cwctype>
#include <filesystem>
#include <optional>
#include <set>
#include <sstream>
#include <variant>

#include "app/commands/Messages.h"
#include "cipher/basBlowfish.h"
#include "cli/Input.h"
#include "cli/Jobs.h"
#include "cli/Progress.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kStandardStream = "-";

void Report(std::ostream& err, std::string_view subject, std::string_view reason) {
    err << "quillmoor-cli: " << subject << ": " << reason << '\n';
}

// Why an operand names no file, or nothing.
std::optional<std::string> NoFileProblem(const std::string& operand) {
    if (operand == kStandardStream)
        return std::nullopt;
    if (operand.empty())
        return "empty file name";
    if (SplitFileArgument(operand).name.empty())
        return "names a folder, not a file";
    return std::nullopt;
}

JobReport ReportOf(const commands::CommandOutcome& outcome, const FileRun& run,
                   const std::string& file, bool toStandardOutput) {
    JobReport report;
    if (outcome.status == commands::CommandStatus::Done) {
        // Standard output holds the data; a result line would spoil it.
        if (!run.quiet && !toStandardOutput)
            report.out = std::string(run.operation == commands::Operation::Encrypt ? "encrypted "
                                                                                   : "decrypted ") +
                         commands::DisplayName(file) + " -> " +
                         commands::DisplayPath(outcome.target) + "\n";
        return report;
    }
    report.err = "quillmoor-cli: " + commands::OutcomeMessage(outcome, commands::Frame::Cli) + "\n";
    report.result = outcome.status == commands::CommandStatus::Cancelled ? FileResult::Stop
                                                                         : FileResult::Failed;
    return report;
}

// Standard input or output in the run: those go through the stream routines.
bool AnyStream(const FileRun& run) {
    return std::ranges::count(run.operands, std::string(kStandardStream)) != 0 ||
           run.output.path == kStandardStream;
}

JobReport Refused(const std::string& file, const std::string& reason) {
    JobReport report;
    report.result = FileResult::Failed;
    std::ostringstream err;
    Report(err, commands::DisplayName(file), reason);
    report.err = err.str();
    return report;
}

namespace fs = std::filesystem;
using FileKey = fs::path::string_type;

// The one name a file goes by, as far as names tell (links resolved; on
// Windows in one case), or nothing when that cannot be told.
std::optional<FileKey> KeyOf(const std::string& name) {
    std::error_code ec;
    const fs::path absolute = fs::absolute(commands::PathFromString(name), ec);
    const fs::path resolved = ec ? fs::path() : fs::weakly_canonical(absolute, ec);
    if (ec)
        return std::nullopt;
    FileKey key = resolved.native();
#ifdef _WIN32
    for (wchar_t& c : key) // names differing only in case are one file there
        c = static_cast<wchar_t>(std::towlower(c));
#endif
    return key;
}

// A regular file with hard links: names alone cannot tell it from another.
bool HasOtherNames(const FileKey& key) {
    std::error_code ec;
    return fs::is_regular_file(key, ec) && !ec && fs::hard_link_count(key, ec) > 1 && !ec;
}

struct OperandPlan {
    // Operands reach one file (a name given twice, one's target another's
    // source, a link or a hard link to it): side by side they would meet
    // each other's locks, and a later one could miss what an earlier one
    // writes, so they go one after another as -j1 would.
    bool oneAfterAnother = false;
    // An earlier operand writes the same target (two a.txt from two folders
    // into one -o folder): the later one is refused rather than replace it.
    std::vector<bool> targetOfAnEarlier;
};

OperandPlan PlanOperands(const FileRun& run) {
    OperandPlan plan;
    plan.targetOfAnEarlier.assign(run.operands.size(), false);
    std::set<FileKey> files, targets;
    const auto reached = [&](const std::string& name) {
        const std::optional<FileKey> key = KeyOf(name);
        if (!key || HasOtherNames(*key) || !files.insert(*key).second)
            plan.oneAfterAnother = true;
        return key;
    };
    for (std::size_t i = 0; i < run.operands.size(); ++i) {
        const std::string& operand = run.operands[i];
        if (NoFileProblem(operand))
            continue; // refused alone, touching nothing
        if (operand != kStandardStream)
            (void)reached(operand);
        const auto chosen = ChooseTarget(run.operation, operand, run.output);
        const Target* target = std::get_if<Target>(&chosen);
        if (!target || target->standardOutput)
            continue;
        if (const auto key = KeyOf(target->path); key && targets.count(*key) != 0)
            plan.targetOfAnEarlier[i] = true;
        else if (const auto reachedKey = reached(target->path))
            targets.insert(*reachedKey);
    }
    return plan;
}

} // namespace

int RunFileOperands(const FileRun& run, std::u16string_view keyText, std::ostream& out,
                    std::ostream& err, const CliConsole& console) {
    // One key schedule for the whole run, set up before any file starts, so
    // files side by side never see it change; wiped at the end.
    KeySchedule state;
    if (const auto problem = commands::PrepareKeyState(run.operation, keyText, *state)) {
        err << "quillmoor-cli: " << commands::KeyProblemMessage(*problem, commands::Frame::Cli)
            << '\n';
        return kExitUsage;
    }

    const std::size_t count = run.operands.size();
    const OperandPlan plan = PlanOperands(run);
    ProgressBar bar(err, !run.quiet && console.errIsTerminal, console.interrupted, count,
                    console.columns);
    // Fills in the request for one FILE, or gives its report when it is
    // refused before anything is touched.
    const auto prepare = [&](std::size_t index, unsigned threads,
                             commands::CommandRequest& request) -> std::optional<JobReport> {
        const std::string& file = run.operands[index];
        if (const auto problem = NoFileProblem(file))
            return Refused(file, *problem);
        const auto chosen = ChooseTarget(run.operation, file, run.output);
        if (const auto* refusal = std::get_if<std::string>(&chosen))
            return Refused(file, *refusal);
        const Target& target = std::get<Target>(chosen);
        if (plan.targetOfAnEarlier[index])
            return Refused(file, "its target " + commands::DisplayName(target.path) +
                                     " is an earlier FILE's target too, and is kept; nothing "
                                     "was written");
        request.operation = run.operation;
        request.keyText = keyText;
        if (file == kStandardStream) {
            request.fileName = file;
            request.sourceDescriptor = console.inFd;
        } else {
            const FileArgument where = SplitFileArgument(file);
            request.folder = where.folder;
            request.fileName = where.name;
        }
        if (target.standardOutput) {
            out.flush(); // whatever was printed comes before the data
            request.targetDescriptor = console.outFd;
        } else {
            request.target = target.path;
        }
        request.mode = run.lenient ? DecryptMode::Lenient : DecryptMode::Strict;
        request.replaceTarget = !run.noClobber;
        request.state = &*state;
        request.threads = threads;
        request.progress = bar.For(index, commands::DisplayName(file));
        return std::nullopt;
    };
    const auto reportOf = [&](std::size_t index, const commands::CommandOutcome& outcome,
                              const commands::CommandRequest& request) {
        bar.Finished(index);
        return ReportOf(outcome, run, run.operands[index], request.targetDescriptor >= 0);
    };
    const auto job = [&](std::size_t index, unsigned threads) {
        commands::CommandRequest request;
        if (auto refused = prepare(index, threads, request))
            return *refused;
        return reportOf(index, commands::RunFileCommand(request), request);
    };
    const auto publish = [&](std::size_t, const JobReport& report) {
        bar.Above([&] {
            out << report.out << std::flush;
            err << report.err << std::flush;
        });
    };
    const unsigned workers = plan.oneAfterAnother ? 1 : JobWorkers(run.jobs, count);
    if (run.operation != commands::Operation::Encrypt || plan.oneAfterAnother || count < 2 ||
        run.jobs == 1 || AnyStream(run))
        return RunJobs(count, workers, job, publish, console.interrupted);

    // Encryption of several files: their chains side by side on each thread.
    OrderedReports reports(count, publish);
    std::vector<commands::CommandRequest> requests(count);
    for (std::size_t i = 0; i < count; ++i)
        if (auto refused = prepare(i, 1, requests[i]))
            reports.Add(i, std::move(*refused));
    commands::EncryptBatchPlan batch;
    batch.filesAtOnce = run.jobs;
    batch.stop = console.interrupted;
    commands::RunEncryptCommands(
        requests, batch, [&](std::size_t i, const commands::CommandOutcome& outcome) {
            if (requests[i].fileName) // a refused FILE has its report already
                reports.Add(i, reportOf(i, outcome, requests[i]));
        });
    return reports.Status();
}

} // namespace quillmoor::cli
