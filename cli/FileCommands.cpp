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
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kStandardStream = "-";

void Report(std::ostream& err, std::string_view subject, std::string_view reason) {
    err << "quillmoor-cli: " << subject << ": " << reason << '\n';
}

// An operand as messages name it: "-" is standard input.
std::string ShownOperand(const std::string& operand) {
    return operand == kStandardStream ? "standard input" : commands::DisplayName(operand);
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
                   const std::string& file, const commands::CommandRequest& request) {
    const bool toStandardOutput = request.targetDescriptor >= 0;
    JobReport report;
    if (outcome.status == commands::CommandStatus::Done) {
        // Standard output holds the data; a result line would spoil it.
        if (!run.quiet && !toStandardOutput)
            report.out = std::string(run.operation == commands::Command::Encrypt ? "encrypted "
                                                                                 : "decrypted ") +
                         ShownOperand(file) + " -> " + commands::DisplayPath(outcome.target) + "\n";
        return report;
    }
    // A target that appeared while the file was at work is kept as well.
    const bool kept = outcome.failure.problem == commands::FileProblem::TargetExists &&
                      run.existing == ExistingTarget::Ask;
    report.err = "quillmoor-cli: " +
                 (kept ? commands::TargetKeptMessage(ShownPath(request.target.value_or("")))
                       : commands::OutcomeMessage(outcome, commands::Frame::Cli)) +
                 "\n";
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

// The one name a file goes by: its device and inode when it exists (so links,
// hard links and bind mounts meet), else its path with links resolved (on
// Windows in one case); nothing when that cannot be told.
using FileKey = std::variant<FileIdentity, fs::path::string_type>;

std::optional<FileKey> KeyOf(const std::string& name) {
    const fs::path path = commands::PathFromString(name);
    if (const auto identity = IdentityOfPath(path))
        return *identity;
    std::error_code ec;
    const fs::path absolute = fs::absolute(path, ec);
    const fs::path resolved = ec ? fs::path() : fs::weakly_canonical(absolute, ec);
    if (ec)
        return std::nullopt;
    fs::path::string_type key = resolved.native();
#ifdef _WIN32
    for (wchar_t& c : key) // names differing only in case are one file there
        c = static_cast<wchar_t>(std::towlower(c));
#endif
    return key;
}

struct OperandPlan {
    // Operands reach one file (a name given twice, one's target another's
    // source, a link, a hard link or a bind mount of it): side by side they
    // would meet each other's locks, and a later one could miss what an
    // earlier one writes, so they go one after another as -j1 would.
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
        if (!key || !files.insert(*key).second)
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

// Whether each operand's existing target may be replaced, asked (once per
// file, all before any job starts) where -f or -n does not say. Nothing when
// the user interrupted the questions.
std::optional<std::vector<TargetDecision>>
DecideTargets(const FileRun& run, const OperandPlan& plan, const CliConsole& console) {
    std::vector<TargetDecision> decisions(run.operands.size(), TargetDecision::Create);
    for (std::size_t i = 0; i < run.operands.size(); ++i) {
        if (NoFileProblem(run.operands[i]) || plan.targetOfAnEarlier[i])
            continue;
        const auto chosen = ChooseTarget(run.operation, run.operands[i], run.output);
        const Target* target = std::get_if<Target>(&chosen);
        if (!target || target->standardOutput)
            continue;
        decisions[i] = DecideTarget(run.existing, target->path, console);
        if (decisions[i] == TargetDecision::Stop)
            return std::nullopt;
    }
    return decisions;
}

// The refusal or note for an operand whose target decision stops it.
std::optional<JobReport> ReportOfDecision(TargetDecision decision, const FileRun& run,
                                          const std::string& file, const Target& target) {
    if (decision == TargetDecision::Skip) {
        JobReport report;
        if (!run.quiet)
            report.out = "skipped " + commands::DisplayName(file) + "\n";
        return report;
    }
    if (decision == TargetDecision::Refuse)
        return JobReport{FileResult::Failed, "",
                         "quillmoor-cli: " + commands::TargetKeptMessage(ShownPath(target.path)) +
                             "\n"};
    return std::nullopt;
}

// Everything one job needs to know of the run.
struct RunContext {
    const FileRun& run;
    std::u16string_view keyText;
    const BlowfishState& state; // the run's key schedule
    const OperandPlan& plan;
    const std::vector<TargetDecision>& decisions;
    std::ostream& out;
    const CliConsole& console;
    ProgressBar& bar;
};

// Fills in the request for one FILE, or gives its report when it is refused
// or skipped before anything is touched.
std::optional<JobReport> Prepare(const RunContext& context, std::size_t index, unsigned threads,
                                 commands::CommandRequest& request) {
    const FileRun& run = context.run;
    const std::string& file = run.operands[index];
    if (const auto problem = NoFileProblem(file))
        return Refused(file, *problem);
    const auto chosen = ChooseTarget(run.operation, file, run.output);
    if (const auto* refusal = std::get_if<std::string>(&chosen))
        return Refused(file, *refusal);
    const Target& target = std::get<Target>(chosen);
    if (context.plan.targetOfAnEarlier[index])
        return Refused(file, "its target " + commands::DisplayName(target.path) +
                                 " is an earlier FILE's target too, and is kept; nothing "
                                 "was written");
    const TargetDecision decision = context.decisions[index];
    if (auto report = ReportOfDecision(decision, run, file, target))
        return report;
    request.operation = run.operation;
    request.keyText = context.keyText;
    if (file == kStandardStream) {
        request.fileName = file;
        request.sourceDescriptor = context.console.inFd;
    } else {
        const FileArgument where = SplitFileArgument(file);
        request.folder = where.folder;
        request.fileName = where.name;
    }
    if (target.standardOutput) {
        context.out.flush(); // whatever was printed comes before the data
        request.targetDescriptor = context.console.outFd;
    } else {
        request.target = target.path;
    }
    request.mode = run.lenient ? DecryptMode::Lenient : DecryptMode::Strict;
    request.replaceTarget = decision == TargetDecision::Replace;
    request.state = &context.state;
    request.threads = threads;
    request.progress = context.bar.For(index, ShownOperand(file));
    return std::nullopt;
}

JobReport ReportOfRun(const RunContext& context, std::size_t index,
                      const commands::CommandOutcome& outcome,
                      const commands::CommandRequest& request) {
    context.bar.Finished(index);
    return ReportOf(outcome, context.run, context.run.operands[index], request);
}

JobReport RunOne(const RunContext& context, std::size_t index, unsigned threads) {
    commands::CommandRequest request;
    if (auto refused = Prepare(context, index, threads, request))
        return *refused;
    return ReportOfRun(context, index, commands::RunFileCommand(request), request);
}

// Encryption of several files: their chains side by side on each thread.
int RunEncryptBatch(const RunContext& context,
                    const std::function<void(std::size_t, const JobReport&)>& publish) {
    const std::size_t count = context.run.operands.size();
    OrderedReports reports(count, publish);
    std::vector<commands::CommandRequest> requests(count);
    for (std::size_t i = 0; i < count; ++i)
        if (auto refused = Prepare(context, i, 1, requests[i]))
            reports.Add(i, std::move(*refused));
    commands::EncryptBatchPlan batch;
    batch.filesAtOnce = context.run.jobs;
    batch.stop = context.console.interrupted;
    commands::RunEncryptCommands(
        requests, batch, [&](std::size_t i, const commands::CommandOutcome& outcome) {
            if (requests[i].fileName) // a refused FILE has its report already
                reports.Add(i, ReportOfRun(context, i, outcome, requests[i]));
        });
    return reports.Status();
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
    const auto decisions = DecideTargets(run, plan, console);
    if (!decisions)
        return kExitFailed; // interrupted: the program ends by the signal
    ProgressBar bar(err, !run.quiet && console.errIsTerminal, console.interrupted, count,
                    console.columns);
    const RunContext context{run, keyText, *state, plan, *decisions, out, console, bar};
    const auto publish = [&](std::size_t, const JobReport& report) {
        bar.Above([&] {
            out << report.out << std::flush;
            err << report.err << std::flush;
        });
    };
    const unsigned workers = plan.oneAfterAnother ? 1 : JobWorkers(run.jobs, count);
    if (run.operation != commands::Command::Encrypt || plan.oneAfterAnother || count < 2 ||
        run.jobs == 1 || AnyStream(run))
        return RunJobs(
            count, workers,
            [&](std::size_t index, unsigned threads) { return RunOne(context, index, threads); },
            publish, console.interrupted);
    return RunEncryptBatch(context, publish);
}

bool WritesStandardOutput(const FileRun& run) {
    if (run.output.path)
        return commands::MeansStandardOutput(*run.output.path);
    return std::ranges::count(run.operands, std::string(kStandardStream)) != 0;
}

void WarnOfEncryptedNames(const std::vector<std::string>& operands, std::ostream& err) {
    for (const std::string& operand : operands)
        if (operand != kStandardStream && HasEncryptedSuffix(operand))
            err << "quillmoor-cli: warning: " << commands::DisplayName(operand)
                << " already ends in .BF; it is encrypted again, into "
                << commands::DisplayName(operand + ".BF") << '\n';
}

int TestOperands(const std::vector<std::string>& operands, bool quiet, std::u16string_view keyText,
                 std::ostream& out, std::ostream& err, const CliConsole& console) {
    int status = kExitOk;
    for (const std::string& file : operands) {
        if (console.interrupted && console.interrupted())
            return kExitFailed;
        if (const auto problem = NoFileProblem(file)) {
            err << Refused(file, *problem).err << std::flush;
            status = kExitFailed;
            continue;
        }
        commands::CommandRequest request;
        request.operation = commands::Command::Decrypt;
        request.keyText = keyText;
        request.discardOutput = true;
        if (file == kStandardStream) {
            request.fileName = file;
            request.sourceDescriptor = console.inFd;
        } else {
            const FileArgument where = SplitFileArgument(file);
            request.folder = where.folder;
            request.fileName = where.name;
        }
        const commands::CommandOutcome outcome = commands::RunFileCommand(request);
        if (outcome.status == commands::CommandStatus::Done) {
            if (!quiet)
                out << "passed " << ShownOperand(file) << '\n' << std::flush;
            continue;
        }
        err << "quillmoor-cli: " << commands::OutcomeMessage(outcome, commands::Frame::Cli) << '\n'
            << std::flush;
        if (outcome.status == commands::CommandStatus::Cancelled)
            return kExitFailed;
        status = kExitFailed;
    }
    return status;
}

} // namespace quillmoor::cli
