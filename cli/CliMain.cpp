#include "cli/CliMain.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <utility>

#include "app/commands/Commands.h"
#include "app/commands/Messages.h"
#include "cli/FileCommands.h"
#include "cli/FilesFrom.h"
#include "cli/Input.h"
#include "cli/Jobs.h"
#include "cli/KeyInput.h"
#include "cli/Keygen.h"
#include "cli/Progress.h"
#include "cli/Replace.h"
#include "cli/Terminal.h"
#include "cli/Wildcards.h"
#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

void ReportOutcome(std::ostream& err, const commands::CommandOutcome& outcome) {
    err << kProgram << ": " << commands::OutcomeMessage(outcome, commands::Frame::Cli) << '\n'
        << std::flush;
}

bool Interrupted(const CliConsole& console) { return console.interrupted && console.interrupted(); }

// Runs `each` on every FILE operand with its folder and name, after
// reporting the ones that name no file. Stops at an interrupt, or when
// `each` says so.
template <typename Each>
int ForEachFile(const Invocation& inv, std::ostream& err, const CliConsole& console, Each each) {
    int exitStatus = kExitOk;
    for (const std::string& file : inv.operands) {
        if (Interrupted(console))
            return kExitFailed;
        const FileArgument where = SplitFileArgument(file);
        if (where.name.empty()) {
            Report(err, commands::DisplayName(file),
                   file.empty() ? "empty file name" : "names a folder, not a file");
            exitStatus = kExitFailed;
            continue;
        }
        switch (each(file, where)) {
        case FileResult::Done: break;
        case FileResult::Failed: exitStatus = kExitFailed; break;
        case FileResult::Stop: return kExitFailed;
        }
    }
    return exitStatus;
}

int RunFileCommands(commands::Command operation, const Invocation& inv, std::ostream& out,
                    std::ostream& err, const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, inv.command + ": no FILE given");
    FileRun run;
    run.operation = operation;
    run.operands = inv.operands;
    run.output.path = inv.toStdout ? std::optional<std::string>("-") : inv.output;
    std::error_code ignored;
    run.output.isFolder =
        inv.output && *inv.output != "-" &&
        std::filesystem::is_directory(commands::PathFromString(*inv.output), ignored);
    if (const auto problem = OutputProblem(run.operands, run.output))
        return Usage(err, *problem);
    // Binary on a terminal garbles it and may drive it; only an explicit
    // -o - says that is wanted.
    const bool saidStandardOutput = inv.output && commands::MeansStandardOutput(*inv.output);
    if (console.outIsTerminal && !saidStandardOutput && WritesStandardOutput(run)) {
        err << kProgram << ": standard output is a " << TerminalWord()
            << ", and encrypted or decrypted bytes would garble it: redirect it (> FILE, | "
            << PagerWord() << "), or give -o - to write there anyway\n";
        return kExitUsage;
    }
    if (operation == commands::Command::Encrypt && !inv.quiet)
        WarnOfEncryptedNames(run.operands, err);
    const bool dataFromStandardInput =
        std::find(run.operands.begin(), run.operands.end(), "-") != run.operands.end();
    if (dataFromStandardInput && inv.key.value == "-" &&
        (inv.key.kind == KeyKind::KeyFile || inv.key.kind == KeyKind::PasswordFile))
        return Usage(err, "standard input cannot give both the key and the data");
    run.existing = inv.force       ? ExistingTarget::Replace
                   : inv.noClobber ? ExistingTarget::Keep
                                   : ExistingTarget::Ask;
    run.quiet = inv.quiet;
    run.lenient = inv.lenient;
    run.jobs = inv.jobs;

    SecretText16 keyText;
    if (const int status = ObtainKeyText(inv, operation, err, console, keyText))
        return status;
    return RunFileOperands(run, keyText, out, err, console);
}

int RunWipe(const Invocation& inv, std::ostream& out, std::ostream& err,
            const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, "wipe: no FILE given");
    const commands::AfterWipe after =
        inv.remove ? commands::AfterWipe::Remove : commands::AfterWipe::Keep;
    if (!inv.yes && console.ttyIn < 0)
        return Usage(err, "wipe: refusing to wipe without --yes: there is no " +
                              std::string(TerminalWord()) +
                              ", so nobody can confirm, and a wipe cannot be undone");

    return ForEachFile(inv, err, console, [&](const std::string& file, const FileArgument& where) {
        if (file == "-") {
            Report(err, file, "standard input cannot be wiped; for a file of that name use ./-");
            return FileResult::Failed;
        }
        commands::WipeRequest request;
        request.folder = where.folder;
        request.fileName = where.name;
        request.after = after;
        if (!inv.yes) {
            const Answer answer = AskOnTerminal(
                console, commands::WipeQuestion(commands::SourcePath(where.folder, where.name)));
            if (answer == Answer::Interrupted)
                return FileResult::Stop;
            if (answer == Answer::No) {
                if (!inv.quiet)
                    out << "skipped " << commands::DisplayName(file) << '\n' << std::flush;
                return FileResult::Done;
            }
        }
        commands::CommandOutcome outcome;
        {
            ProgressBar bar(err, !inv.quiet && console.errIsTerminal, console.interrupted, 1,
                            console.columns);
            request.progress = bar.For(0, commands::DisplayName(file));
            outcome = commands::RunWipeCommand(request); // a new seed for every file
        }
        if (outcome.status == commands::CommandStatus::Done) {
            if (!inv.quiet)
                out << (inv.remove ? "wiped and removed " : "wiped ") << commands::DisplayName(file)
                    << '\n'
                    << std::flush;
            return FileResult::Done;
        }
        ReportOutcome(err, outcome);
        return outcome.status == commands::CommandStatus::Cancelled ? FileResult::Stop
                                                                    : FileResult::Failed;
    });
}

int RunEncrypt(const Invocation& inv, std::ostream& out, std::ostream& err,
               const CliConsole& console) {
    return RunFileCommands(commands::Command::Encrypt, inv, out, err, console);
}

int RunDecrypt(const Invocation& inv, std::ostream& out, std::ostream& err,
               const CliConsole& console) {
    return RunFileCommands(commands::Command::Decrypt, inv, out, err, console);
}

int RunTest(const Invocation& inv, std::ostream& out, std::ostream& err,
            const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, "test: no FILE given");
    if (inv.operands.size() > 1 && std::ranges::count(inv.operands, std::string("-")) != 0)
        return Usage(err, "standard input ('-') goes with no other FILE");
    SecretText16 keyText;
    if (const int status = ObtainKeyText(inv, commands::Command::Decrypt, err, console, keyText))
        return status;
    return TestOperands(inv.operands, inv.quiet, keyText, out, err, console);
}

int RunMd5(const Invocation& inv, std::ostream& out, std::ostream& err, const CliConsole& console) {
    if (inv.operands.size() > 1)
        return Usage(err, "md5: give at most one TEXT (quote a text with spaces)");
    SecretText16 text;
    const auto operand =
        inv.operands.empty() ? std::nullopt : std::optional<std::string>(inv.operands.front());
    const int status = ObtainMd5Text(operand, err, console, text);
    const SecretText16 digest =
        status == kExitOk ? commands::KeyTextFromPassword(text) : SecretText16();
    for (const char16_t digit : digest) // hex digits; no copy of the key is left behind
        out.put(static_cast<char>(digit));
    if (status == kExitOk)
        out.put('\n');
    return status; // RunCli reports output that could not be written
}

int RunKeygenCommand(const Invocation& inv, std::ostream& out, std::ostream& err,
                     const CliConsole&) {
    if (!inv.operands.empty())
        return Usage(err, "keygen takes no FILE; name the key file with -o");
    KeygenRequest request;
    request.bytes = inv.bytes;
    request.output = inv.output.value_or("");
    return RunKeygen(request, out, err);
}

// Every command: its name, the options it takes, what runs it.
constexpr OptionSet kListOptions = Option::FilesFrom | Option::NullSeparated;
constexpr OptionSet kFileOptions = Option::Key | Option::Quiet | Option::Output | Option::Stdout |
                                   Option::NoClobber | Option::Force | Option::Jobs | kListOptions;
constexpr Verb kVerbs[] = {
    {"encrypt", kFileOptions, RunEncrypt},
    {"decrypt", kFileOptions | Option::Lenient, RunDecrypt},
    {"test", Option::Key | Option::Quiet | kListOptions, RunTest},
    {"wipe", Option::Yes | Option::Quiet | Option::Remove | kListOptions, RunWipe},
    {"md5", OptionSet(), RunMd5},
    {"keygen", Option::Bytes | Option::Output | Option::Quiet, RunKeygenCommand},
};

// FILE operands typed as patterns (only Windows has them: elsewhere the
// shell expanded them) become the files they match, in their place.
void ExpandPatterns(Invocation& inv, std::span<const CommandWord> rest) {
    std::vector<std::string> operands;
    for (std::size_t i = 0; i < inv.operands.size(); ++i) {
        if (!rest[inv.operandPlaces[i]].pattern) {
            operands.push_back(std::move(inv.operands[i]));
            continue;
        }
        for (std::string& file : ExpandWildcard(inv.operands[i]))
            operands.push_back(std::move(file));
    }
    inv.operands = std::move(operands);
}

int Dispatch(const std::vector<CommandWord>& words, std::ostream& out, std::ostream& err,
             const CliConsole& console) {
    std::vector<std::string> args;
    for (const CommandWord& word : words)
        args.push_back(word.text);
    if (args.empty())
        return Usage(err, "no command given");
    const std::string& first = args.front();
    if (first == "--help" || first == "-h" || first == "help") {
        out << HelpText() << std::flush;
        return kExitOk;
    }
    if (first == "--version" || first == "-V") {
        out << kProgram << ' ' << QUILLMOOR_VERSION << '\n' << std::flush;
        return kExitOk;
    }
    const Verb* verb = FindVerb(first);
    if (!verb) {
        if (!first.starts_with('-'))
            return Usage(err, "unknown command " + Quoted(first.substr(0, first.find('='))));
        const std::string name = OptionName(first);
        if (LooksLikeSecretOption(name))
            return Usage(err, "keys and passwords are never taken from the command line; the "
                              "command comes first, e.g. 'quillmoor-cli encrypt --key-file "
                              "PATH FILE'");
        return Usage(err, "unknown option " + Quoted(name));
    }
    Invocation inv;
    try {
        inv = ParseArguments(verb->name, verb->options, std::span(args).subspan(1));
    } catch (const UsageError& e) {
        return Usage(err, e.what());
    }
    if (inv.help) {
        out << VerbHelp(*verb) << std::flush;
        return kExitOk;
    }
    if (inv.version) {
        out << kProgram << ' ' << QUILLMOOR_VERSION << '\n' << std::flush;
        return kExitOk;
    }
    if (verb->options.Has(Option::FilesFrom)) // the commands that take FILEs
        ExpandPatterns(inv, std::span(words).subspan(1));
    if (const int status = AddListedFiles(inv, err, console))
        return status;
    return verb->run(inv, out, err, console);
}

} // namespace

FileArgument SplitFileArgument(std::string_view argument) {
#ifdef _WIN32 // after a lone leading slash, the root of the current drive
    constexpr std::string_view kRoot = "";
#else
    constexpr std::string_view kRoot = "/";
#endif
    constexpr std::string_view kSeparators = commands::kPathSeparators;
    const auto slash = argument.find_last_of(kSeparators);
    if (slash == std::string_view::npos)
        return {".", std::string(argument)};
    std::string_view folder = argument.substr(0, slash);
    while (!folder.empty() && kSeparators.find(folder.back()) != std::string_view::npos)
        folder.remove_suffix(1);
    return {folder.empty() ? std::string(kRoot) : std::string(folder),
            std::string(argument.substr(slash + 1))};
}

const Verb* FindVerb(std::string_view name) {
    for (const Verb& verb : kVerbs)
        if (verb.name == name)
            return &verb;
    return nullptr;
}

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
           const CliConsole& console) {
    std::vector<CommandWord> words;
    for (const std::string& arg : args)
        words.push_back({arg, false});
    return RunCommandLine(words, out, err, console);
}

int RunCommandLine(const std::vector<CommandWord>& words, std::ostream& out, std::ostream& err,
                   const CliConsole& console) {
    const int status = Dispatch(words, out, err, console);
    // A summary line lost to a full disk or a closed pipe is a failure too.
    out.flush();
    if (out)
        return status;
    Report(err, "standard output", "cannot write; some output was lost");
    return status == kExitOk ? kExitFailed : status;
}

} // namespace quillmoor::cli
