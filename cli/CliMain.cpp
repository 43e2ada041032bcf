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
#include "cli/Input.h"
#include "cli/Jobs.h"
#include "cli/Keygen.h"
#include "cli/Progress.h"
#include "cli/Terminal.h"
#include "cli/Utf8.h"
#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kProgram = "quillmoor-cli";
constexpr std::string_view kKeyPrompt = "Key (hexadecimal): ";
constexpr std::string_view kPasswordPrompt = "Password: ";

int Usage(std::ostream& err, std::string_view message) {
    err << kProgram << ": " << message << "\nTry 'quillmoor-cli --help' for more information.\n";
    return kExitUsage;
}

void Report(std::ostream& err, std::string_view subject, std::string_view reason) {
    err << kProgram << ": " << subject << ": " << reason << '\n' << std::flush;
}

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

// --- The key text: where it comes from, reading it, decoding, checks ---------

// How reading a key or password line went.
struct LineRead {
    LineStatus status = LineStatus::Ok;
    int error = 0;         // the errno value for NotOpened and Failed
    bool mismatch = false; // asked twice, and the two entries differ
};

// Says what went wrong with a read, naming where from; 0 when nothing did.
// An interrupt is not reported: the program ends by the signal.
int ReportRead(const LineRead& read, std::ostream& err, std::string_view subject,
               int failedStatus) {
    if (read.mismatch) {
        Report(err, subject, "the two entries differ; nothing was done");
        return kExitUsage;
    }
    switch (read.status) {
    case LineStatus::Ok: return kExitOk;
    case LineStatus::Interrupted: return kExitFailed;
    case LineStatus::TooLong:
        Report(err, subject,
               "longer than " + std::to_string(kMaxLineBytes) +
                   " bytes without a line end; a key or password is one line of at most 64 KiB");
        return kExitUsage;
    case LineStatus::NotOpened:
        Report(err, subject, "cannot open: " + ErrorText(read.error));
        break;
    case LineStatus::Failed: Report(err, subject, "cannot read: " + ErrorText(read.error)); break;
    }
    return failedStatus;
}

// Asks on the controlling terminal without echo, never on standard input
// or error, which may carry data or be hidden; with `again`, asks a second
// time and insists on the same answer, since a mistyped encryption key loses
// the file.
LineRead AskSecret(const CliConsole& console, std::string_view prompt, std::string_view again,
                   SecretText& line) {
    const auto ask = [&](std::string_view text, SecretText& into) {
        LineRead read;
        if (console.ttyIn < 0) {
            read.status = LineStatus::Failed;
            read.error = ENXIO;
            return read;
        }
        EchoOff silent(console.ttyIn);
        (void)WriteAll(console.ttyOut, text);
        read.status = ReadFirstLine(console.ttyIn, into, read.error, console.interrupted);
        (void)WriteAll(console.ttyOut, "\n"); // the Enter key was not echoed either
        return read;
    };
    LineRead read = ask(prompt, line);
    if (read.status != LineStatus::Ok || again.empty())
        return read;
    SecretText second;
    read = ask(again, second);
    read.mismatch = read.status == LineStatus::Ok && second != line;
    return read;
}

// One line of standard input: asked for on a terminal, read from anything else.
LineRead ReadStandardInput(const CliConsole& console, std::string_view prompt,
                           std::string_view again, SecretText& line) {
    if (console.inIsTerminal)
        return AskSecret(console, prompt, again, line);
    LineRead read;
    read.status = ReadFirstLine(console.inFd, line, read.error, console.interrupted);
    DropByteOrderMark(line);
    return read;
}

// Where the key line comes from and how to talk about it.
struct KeySource {
    const KeyChoice& choice;
    bool password = false;
    std::string subject;     // for messages: the option and its value, or "key"
    std::string_view prompt; // on a terminal
    std::string_view again;  // asked a second time (encrypt) unless empty
};

// Where the key line comes from, or, when there is nowhere to take it from,
// the status after saying why.
int ChooseKeySource(const KeyChoice& choice, commands::Operation operation,
                    const CliConsole& console, std::ostream& err,
                    std::optional<KeySource>& source) {
    // With no key option, a password is asked for on the terminal.
    if (choice.kind == KeyKind::None && console.ttyIn < 0)
        return Usage(err, "no key given, and no terminal to ask for a password on: use "
                          "--key-env, --key-file, --password-env or --password-file");
    const bool password = choice.kind == KeyKind::None || choice.kind == KeyKind::PasswordEnv ||
                          choice.kind == KeyKind::PasswordFile;
    std::string_view again;
    if (operation == commands::Operation::Encrypt)
        again = password ? "Repeat the password: " : "Repeat the key: ";
    source.emplace(choice, password,
                   choice.kind == KeyKind::None
                       ? "password"
                       : choice.option + " " + commands::DisplayName(choice.value),
                   password ? kPasswordPrompt : kKeyPrompt, again);
    const bool fromEnvironment =
        choice.kind == KeyKind::KeyEnv || choice.kind == KeyKind::PasswordEnv;
    if (fromEnvironment && !std::getenv(choice.value.c_str())) {
        Report(err, source->subject, "the environment variable is not set");
        return kExitUsage;
    }
    return kExitOk;
}

LineRead ReadKeyLine(const KeySource& source, const CliConsole& console, SecretText& line) {
    const KeyChoice& choice = source.choice;
    LineRead read;
    switch (choice.kind) {
    case KeyKind::None: return AskSecret(console, source.prompt, source.again, line);
    case KeyKind::KeyEnv:
    case KeyKind::PasswordEnv: {
        const char* value = std::getenv(choice.value.c_str());
        const std::string_view text = value ? value : ""; // unset was refused before
        if (text.size() > kMaxLineBytes)
            read.status = LineStatus::TooLong;
        else
            line.assign(text);
        return read;
    }
    case KeyKind::KeyFile:
    case KeyKind::PasswordFile:
        if (choice.value == "-")
            return ReadStandardInput(console, source.prompt, source.again, line);
        read.status = ReadFirstLineOfFile(choice.value, line, read.error, console.interrupted);
        return read;
    }
    return read;
}

// Strict UTF-8 to the UTF-16 text the window's boxes hold.
int DecodeLine(std::string_view line, std::ostream& err, std::string_view subject,
               SecretText16& text) {
    std::size_t bad = 0;
    if (Utf8ToUtf16(line, text, bad))
        return kExitOk;
    Report(err, subject, "not valid UTF-8 (byte " + std::to_string(bad + 1) + ")");
    return kExitUsage;
}

// Said on standard error unless --quiet, once the key is accepted: keys
// that work but are weak. `text` is the line as typed (before MD5).
std::string KeyWarning(commands::Operation operation, bool password, std::u16string_view text) {
    if (password)
        return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; })
                   ? "warning: the password has characters above U+00FF; each counts only by "
                     "its low 8 bits, so different passwords can give the same key"
                   : "";
    const std::size_t bytes = (text.size() + 1) / 2;
    if (operation != commands::Operation::Encrypt || bytes >= 16)
        return "";
    return "warning: the key is " + std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") +
           "; 16 or more are safer ('quillmoor-cli keygen' makes one)";
}

// Turns a password into the key text as the MD5 button does, then checks
// what the command will use; the status after saying why not, or 0.
int MakeKeyText(commands::Operation operation, bool password, SecretText16& text,
                std::ostream& err) {
    auto problem = password ? commands::PasswordProblem(operation, text) : std::nullopt;
    if (password && !problem)
        text = commands::KeyTextFromPassword(text);
    if (!problem)
        problem = commands::KeyTextProblem(operation, text);
    if (!problem)
        return kExitOk;
    err << kProgram << ": " << commands::KeyProblemMessage(*problem, commands::Frame::Cli) << '\n';
    return kExitUsage;
}

// The key text from wherever the options say, as the Key box would hold it:
// a key as typed, or a password turned into 32 hex digits as by MD5.
int ObtainKeyText(const Invocation& inv, commands::Operation operation, std::ostream& err,
                  const CliConsole& console, SecretText16& keyText) {
    std::optional<KeySource> chosen;
    if (const int status = ChooseKeySource(inv.key, operation, console, err, chosen))
        return status;
    const KeySource& source = *chosen;
    SecretText line;
    if (const int status =
            ReportRead(ReadKeyLine(source, console, line), err, source.subject, kExitUsage))
        return status;
    SecretText16 text;
    if (const int status = DecodeLine(line, err, source.subject, text))
        return status;
    const std::string warning = KeyWarning(operation, source.password, text);
    if (const int status = MakeKeyText(operation, source.password, text, err))
        return status;
    if (!warning.empty() && !inv.quiet)
        err << kProgram << ": " << warning << '\n';
    keyText = std::move(text);
    return kExitOk;
}

int RunFileCommands(commands::Operation operation, const Invocation& inv, std::ostream& out,
                    std::ostream& err, const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, inv.command + ": no FILE given");
    FileRun run;
    run.operation = operation;
    run.operands = inv.operands;
    run.output.path = inv.output;
    std::error_code ignored;
    run.output.isFolder =
        inv.output && *inv.output != "-" &&
        std::filesystem::is_directory(commands::PathFromString(*inv.output), ignored);
    if (const auto problem = OutputProblem(run.operands, run.output))
        return Usage(err, *problem);
    const bool dataFromStandardInput =
        std::find(run.operands.begin(), run.operands.end(), "-") != run.operands.end();
    if (dataFromStandardInput && inv.key.value == "-" &&
        (inv.key.kind == KeyKind::KeyFile || inv.key.kind == KeyKind::PasswordFile))
        return Usage(err, "standard input cannot give both the key and the data");
    run.noClobber = inv.noClobber;
    run.quiet = inv.quiet;
    run.lenient = inv.lenient;
    run.jobs = inv.jobs;

    SecretText16 keyText;
    if (const int status = ObtainKeyText(inv, operation, err, console, keyText))
        return status;
    return RunFileOperands(run, keyText, out, err, console);
}

bool IsYes(std::string_view answer) {
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

int RunWipe(const Invocation& inv, std::ostream& out, std::ostream& err,
            const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, "wipe: no FILE given");
    if (!inv.yes && console.ttyIn < 0)
        return Usage(err, "wipe: refusing to wipe without --yes: there is no terminal, so "
                          "nobody can confirm, and a wipe cannot be undone");

    return ForEachFile(inv, err, console, [&](const std::string& file, const FileArgument& where) {
        if (file == "-") {
            Report(err, file, "standard input cannot be wiped; for a file of that name use ./-");
            return FileResult::Failed;
        }
        commands::WipeRequest request;
        request.folder = where.folder;
        request.fileName = where.name;
        if (!inv.yes) {
            (void)WriteAll(console.ttyOut,
                           commands::WipeQuestion(commands::SourcePath(where.folder, where.name)) +
                               " [y/N] ");
            SecretText answer;
            int error = 0;
            const LineStatus status =
                ReadFirstLine(console.ttyIn, answer, error, console.interrupted);
            if (status == LineStatus::Interrupted)
                return FileResult::Stop;
            if (status != LineStatus::Ok || !IsYes(answer)) {
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
                out << "wiped " << commands::DisplayName(file) << '\n' << std::flush;
            return FileResult::Done;
        }
        ReportOutcome(err, outcome);
        return outcome.status == commands::CommandStatus::Cancelled ? FileResult::Stop
                                                                    : FileResult::Failed;
    });
}

int RunEncrypt(const Invocation& inv, std::ostream& out, std::ostream& err,
               const CliConsole& console) {
    return RunFileCommands(commands::Operation::Encrypt, inv, out, err, console);
}

int RunDecrypt(const Invocation& inv, std::ostream& out, std::ostream& err,
               const CliConsole& console) {
    return RunFileCommands(commands::Operation::Decrypt, inv, out, err, console);
}

int RunMd5(const Invocation& inv, std::ostream& out, std::ostream& err, const CliConsole& console) {
    if (inv.operands.size() > 1)
        return Usage(err, "md5: give at most one TEXT (quote a text with spaces)");
    SecretText line;
    std::string subject = "md5: TEXT";
    LineRead read;
    if (!inv.operands.empty()) {
        if (inv.operands.front().size() > kMaxLineBytes)
            read.status = LineStatus::TooLong;
        else
            line = inv.operands.front();
    } else {
        subject = "md5: standard input";
        read = ReadStandardInput(console, kPasswordPrompt, "", line);
    }
    if (const int status = ReportRead(read, err, subject, kExitFailed))
        return status;
    SecretText16 text;
    if (const int status = DecodeLine(line, err, subject, text))
        return status;
    const SecretText16 digest = commands::KeyTextFromPassword(text);
    for (const char16_t digit : digest) // hex digits; no copy of the key is left behind
        out.put(static_cast<char>(digit));
    out.put('\n');
    return kExitOk; // RunCli reports output that could not be written
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
constexpr OptionSet kFileOptions =
    Option::Key | Option::Quiet | Option::Output | Option::NoClobber | Option::Jobs;
constexpr Verb kVerbs[] = {
    {"encrypt", kFileOptions, RunEncrypt},
    {"decrypt", kFileOptions | Option::Lenient, RunDecrypt},
    {"wipe", Option::Yes | Option::Quiet, RunWipe},
    {"md5", OptionSet(), RunMd5},
    {"keygen", Option::Bytes | Option::Output | Option::Quiet, RunKeygenCommand},
};

int Dispatch(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
             const CliConsole& console) {
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
        out << HelpText() << std::flush;
        return kExitOk;
    }
    if (inv.version) {
        out << kProgram << ' ' << QUILLMOOR_VERSION << '\n' << std::flush;
        return kExitOk;
    }
    return verb->run(inv, out, err, console);
}

} // namespace

FileArgument SplitFileArgument(std::string_view argument) {
#ifdef _WIN32 // either slash; after a lone leading one, the root of the current drive
    constexpr std::string_view kSeparators = "/\\", kRoot = "";
#else
    constexpr std::string_view kSeparators = "/", kRoot = "/";
#endif
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
    const int status = Dispatch(args, out, err, console);
    // A summary line lost to a full disk or a closed pipe is a failure too.
    out.flush();
    if (out)
        return status;
    Report(err, "standard output", "cannot write; some output was lost");
    return status == kExitOk ? kExitFailed : status;
}

} // namespace quillmoor::cli
