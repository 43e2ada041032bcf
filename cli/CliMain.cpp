#include "cli/CliMain.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <utility>

#include <fcntl.h>
#include <unistd.h>
#ifdef _WIN32
#include <filesystem>
#include <io.h>
#endif

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
#include "digest/CMD5.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kProgram = "quillmoor-cli";
constexpr std::string_view kKeyPrompt = "Key (hexadecimal): ";
constexpr std::string_view kPasswordPrompt = "Password: ";

enum class KeyKind { None, KeyEnv, KeyFile, PasswordEnv, PasswordFile };

struct KeyChoice {
    KeyKind kind = KeyKind::None;
    std::string option; // as typed, for messages
    std::string value;  // variable name or path
};

struct Invocation {
    std::string command;
    KeyChoice key;
    bool quiet = false;
    bool lenient = false;
    bool yes = false;
    bool help = false;
    bool version = false;
    bool noClobber = false;
    std::optional<std::string> output;
    unsigned jobs = 0;                       // 0: one per core
    std::size_t bytes = kKeygenDefaultBytes; // keygen
    std::vector<std::string> operands;
};

class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

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

// Scrubs a secret however the function holding it returns.
template <typename C> class Scrub {
  public:
    explicit Scrub(std::basic_string<C>& s) : s_(s) {}
    ~Scrub() { WipeString(s_); }
    Scrub(const Scrub&) = delete;
    Scrub& operator=(const Scrub&) = delete;

  private:
    std::basic_string<C>& s_;
};

// Every option once: its letter (0: none), its long name, whether it takes
// a value, and the commands that take it.
enum class Opt { Help, Version, Quiet, Lenient, Yes, Output, NoClobber, Jobs, Bytes, Key };

struct OptionSpec {
    Opt opt;
    char letter;
    std::string_view name;
    bool takesValue;
    std::string_view commands; // space-separated; empty: every command
    KeyKind key = KeyKind::None;
};

constexpr OptionSpec kOptions[] = {
    {Opt::Help, 'h', "help", false, ""},
    {Opt::Version, 'V', "version", false, ""},
    {Opt::Quiet, 'q', "quiet", false, "encrypt decrypt wipe keygen"},
    {Opt::Lenient, 0, "lenient", false, "decrypt"},
    {Opt::Yes, 'y', "yes", false, "wipe"},
    {Opt::Output, 'o', "output", true, "encrypt decrypt keygen"},
    {Opt::NoClobber, 'n', "no-clobber", false, "encrypt decrypt"},
    {Opt::Jobs, 'j', "jobs", true, "encrypt decrypt"},
    {Opt::Bytes, 0, "bytes", true, "keygen"},
    {Opt::Key, 0, "key-env", true, "encrypt decrypt", KeyKind::KeyEnv},
    {Opt::Key, 0, "key-file", true, "encrypt decrypt", KeyKind::KeyFile},
    {Opt::Key, 0, "password-env", true, "encrypt decrypt", KeyKind::PasswordEnv},
    {Opt::Key, 0, "password-file", true, "encrypt decrypt", KeyKind::PasswordFile},
};

bool Applies(const OptionSpec& spec, std::string_view command) {
    if (spec.commands.empty())
        return true;
    for (std::string_view rest = spec.commands; !rest.empty();) {
        const auto space = rest.find(' ');
        if (rest.substr(0, space) == command)
            return true;
        rest = space == std::string_view::npos ? "" : rest.substr(space + 1);
    }
    return false;
}

// Anything that looks like an attempt to pass the secret itself.
bool LooksLikeSecretOption(std::string_view name) {
    return name.starts_with("--key") || name.starts_with("--pass") || name == "-k" || name == "-p";
}

[[noreturn]] void SecretOnCommandLine(std::string_view name) {
    // Never echo the value: it may be the secret.
    throw UsageError("'" + std::string(name) +
                     "': keys and passwords are never taken from the command line, where other "
                     "users can see them; use --key-env, --key-file, --password-env or "
                     "--password-file");
}

// A whole number from `low` to `high`, or nothing.
std::optional<unsigned> Count(std::string_view text, unsigned low, unsigned high) {
    unsigned value = 0;
    if (text.empty() || text.size() > 4)
        return std::nullopt;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value < low || value > high)
        return std::nullopt;
    return value;
}

void Apply(Invocation& inv, const OptionSpec& spec, const std::string& name,
           const std::optional<std::string>& value) {
    if (!Applies(spec, inv.command))
        throw UsageError("option '" + name + "' does not apply to " + inv.command);
    if (!spec.takesValue && value)
        throw UsageError("option '" + name + "' takes no value");
    if (spec.takesValue && value->empty())
        throw UsageError("option '" + name + "' needs a value that is not empty");
    switch (spec.opt) {
    case Opt::Help: inv.help = true; break;
    case Opt::Version: inv.version = true; break;
    case Opt::Quiet: inv.quiet = true; break;
    case Opt::Lenient: inv.lenient = true; break;
    case Opt::Yes: inv.yes = true; break;
    case Opt::NoClobber: inv.noClobber = true; break;
    case Opt::Output:
        if (inv.output)
            throw UsageError("give -o/--output only once");
        inv.output = *value;
        break;
    case Opt::Jobs: {
        const auto jobs = Count(*value, 1, 64);
        if (!jobs)
            throw UsageError("option '" + name + "' takes a number of jobs from 1 to 64");
        inv.jobs = *jobs;
        break;
    }
    case Opt::Bytes: {
        const auto bytes = Count(*value, 1, static_cast<unsigned>(kKeygenMaxBytes));
        if (!bytes)
            throw UsageError("option '" + name + "' takes a key length from 1 to 56 bytes");
        inv.bytes = *bytes;
        break;
    }
    case Opt::Key:
        if (inv.key.kind != KeyKind::None)
            throw UsageError("give only one of --key-env, --key-file, --password-env and "
                             "--password-file");
        inv.key = {spec.key, name, *value};
        break;
    }
}

// Options and operands after the command word. Short options bundle (-qy);
// a value follows its option as the next argument, after "=" (long) or
// right after the letter (-j4, -oFILE). "--" ends the options; "-" alone
// is an operand, standard input.
Invocation Parse(const std::vector<std::string>& args) {
    Invocation inv;
    inv.command = args.front();
    bool optionsEnded = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg == "-" || !arg.starts_with('-')) {
            inv.operands.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        // The next argument as a value, for an option that ends its word.
        const auto nextValue = [&](const std::string& name) {
            if (i + 1 == args.size())
                throw UsageError("option '" + name + "' needs a value");
            return args[++i];
        };
        if (arg.starts_with("--")) {
            const auto eq = arg.find('=');
            const std::string name = arg.substr(0, eq);
            const auto spec =
                std::find_if(std::begin(kOptions), std::end(kOptions),
                             [&](const OptionSpec& o) { return name.substr(2) == o.name; });
            if (spec == std::end(kOptions)) {
                if (LooksLikeSecretOption(name))
                    SecretOnCommandLine(name);
                throw UsageError("unknown option '" + name + "'");
            }
            std::optional<std::string> value;
            if (eq != std::string::npos)
                value = arg.substr(eq + 1);
            else if (spec->takesValue && Applies(*spec, inv.command))
                value = nextValue(name);
            Apply(inv, *spec, name, value);
            continue;
        }
        for (std::size_t at = 1; at < arg.size(); ++at) {
            const std::string name = std::string("-") + arg[at];
            const auto spec =
                std::find_if(std::begin(kOptions), std::end(kOptions),
                             [&](const OptionSpec& o) { return o.letter == arg[at]; });
            if (spec == std::end(kOptions)) {
                if (LooksLikeSecretOption(name))
                    SecretOnCommandLine(name);
                throw UsageError("unknown option '" + name + "'");
            }
            if (!spec->takesValue) {
                Apply(inv, *spec, name, std::nullopt);
                continue;
            }
            std::optional<std::string> value;
            if (Applies(*spec, inv.command))
                value = at + 1 < arg.size() ? arg.substr(at + 1) : nextValue(name);
            Apply(inv, *spec, name, value);
            break;
        }
    }
    return inv;
}

enum class AskStatus { Ok, Failed, Interrupted, Mismatch };

AskStatus FromLine(LineStatus status) {
    switch (status) {
    case LineStatus::Ok: return AskStatus::Ok;
    case LineStatus::Failed: return AskStatus::Failed;
    case LineStatus::Interrupted: return AskStatus::Interrupted;
    }
    return AskStatus::Failed;
}

// Asks on the controlling terminal without echo, never on standard input
// or error, which may carry data or be hidden; with `again`, asks a second
// time and insists on the same answer, since a mistyped encryption key loses
// the file.
AskStatus AskSecret(const CliConsole& console, std::string_view prompt, std::string_view again,
                    std::string& line, int& error) {
    if (console.ttyIn < 0) {
        error = ENXIO;
        return AskStatus::Failed;
    }
    const auto ask = [&](std::string_view text, std::string& into) {
        EchoOff silent(console.ttyIn);
        (void)WriteAll(console.ttyOut, text);
        const LineStatus status = ReadFirstLine(console.ttyIn, into, error, console.interrupted);
        (void)WriteAll(console.ttyOut, "\n"); // the Enter key was not echoed either
        return FromLine(status);
    };
    AskStatus status = ask(prompt, line);
    if (status != AskStatus::Ok || again.empty())
        return status;
    std::string second;
    Scrub scrub(second);
    status = ask(again, second);
    if (status == AskStatus::Ok && second != line)
        return AskStatus::Mismatch;
    return status;
}

// Said on standard error unless --quiet, once the key is accepted: keys
// that work but are weak. `text` is the line as typed (before MD5).
void WarnAboutKey(const Invocation& inv, commands::Operation operation, bool password,
                  std::u16string_view text, std::ostream& err) {
    if (inv.quiet)
        return;
    if (password) {
        if (std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; }))
            err << kProgram
                << ": warning: the password has characters above U+00FF; each counts only by "
                   "its low 8 bits, so different passwords can give the same key\n";
        return;
    }
    const std::size_t bytes = (text.size() + 1) / 2;
    if (operation == commands::Operation::Encrypt && bytes < 16)
        err << kProgram << ": warning: the key is " << bytes << (bytes == 1 ? " byte" : " bytes")
            << "; 16 or more are safer ('quillmoor-cli keygen' makes one)\n";
}

// The key text from wherever the options say, as the Key box would hold it:
// a key as typed, or a password turned into 32 hex digits as by MD5. With
// no key option, a password is asked for on the terminal.
int ObtainKeyText(const Invocation& inv, commands::Operation operation, std::ostream& err,
                  const CliConsole& console, std::u16string& keyText) {
    const KeyChoice& key = inv.key;
    const bool password = key.kind == KeyKind::PasswordEnv || key.kind == KeyKind::PasswordFile ||
                          key.kind == KeyKind::None;
    const bool confirm = operation == commands::Operation::Encrypt;
    const std::string subject =
        key.kind == KeyKind::None ? "password" : key.option + " " + key.value;
    const std::string_view prompt = password ? kPasswordPrompt : kKeyPrompt;
    const std::string_view again = !confirm   ? ""
                                   : password ? "Repeat the password: "
                                              : "Repeat the key: ";
    std::string line;
    Scrub scrubLine(line);
    int error = 0;
    AskStatus status = AskStatus::Ok;

    switch (key.kind) {
    case KeyKind::None:
        if (console.ttyIn < 0)
            return Usage(err, "no key given, and no terminal to ask for a password on: use "
                              "--key-env, --key-file, --password-env or --password-file");
        status = AskSecret(console, prompt, again, line, error);
        break;
    case KeyKind::KeyEnv:
    case KeyKind::PasswordEnv: {
        const char* value = std::getenv(key.value.c_str());
        if (!value) {
            Report(err, subject, "the environment variable is not set");
            return kExitUsage;
        }
        line.assign(value);
        break;
    }
    case KeyKind::KeyFile:
    case KeyKind::PasswordFile:
        if (key.value == "-") {
            status = console.inIsTerminal
                         ? AskSecret(console, prompt, again, line, error)
                         : FromLine(ReadFirstLine(console.inFd, line, error, console.interrupted));
        } else {
#ifdef _WIN32 // arguments are UTF-8 here; the wide call reaches any name
            const auto path =
                std::filesystem::path(std::u8string(key.value.begin(), key.value.end()));
            const int fd = ::_wopen(path.c_str(), _O_RDONLY | _O_BINARY);
#else
            const int fd = ::open(key.value.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
#endif
            if (fd < 0) {
                Report(err, subject, "cannot open: " + ErrorText(errno));
                return kExitUsage;
            }
            status = FromLine(ReadFirstLine(fd, line, error, console.interrupted));
            ::close(fd);
        }
        DropByteOrderMark(line);
        break;
    }
    switch (status) {
    case AskStatus::Ok: break;
    case AskStatus::Interrupted: return kExitFailed;
    case AskStatus::Failed:
        Report(err, subject, "cannot read: " + ErrorText(error));
        return kExitUsage;
    case AskStatus::Mismatch:
        Report(err, subject, "the two entries differ; nothing was done");
        return kExitUsage;
    }

    std::u16string text;
    Scrub scrubText(text);
    std::size_t bad = 0;
    if (!Utf8ToUtf16(line, text, bad)) {
        Report(err, subject, "not valid UTF-8 (byte " + std::to_string(bad + 1) + ")");
        return kExitUsage;
    }
    // A password always gives a usable key (32 hex digits), unless Encrypt
    // refuses it as empty.
    auto problem = password ? commands::PasswordProblem(operation, text)
                            : commands::KeyTextProblem(operation, text);
    if (problem) {
        err << kProgram << ": " << commands::KeyProblemMessage(*problem, commands::Frame::Cli)
            << '\n';
        return kExitUsage;
    }
    WarnAboutKey(inv, operation, password, text, err);
    if (password) {
        std::u16string digest = commands::KeyTextFromPassword(text);
        WipeString(text);
        text.swap(digest);
    }

    keyText.swap(text);
    return kExitOk;
}

int RunFileCommands(const Invocation& inv, std::ostream& out, std::ostream& err,
                    const CliConsole& console) {
    FileRun run;
    run.operation =
        inv.command == "encrypt" ? commands::Operation::Encrypt : commands::Operation::Decrypt;
    if (inv.operands.empty())
        return Usage(err, inv.command + ": no FILE given");
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

    std::u16string keyText;
    Scrub scrubKey(keyText);
    if (const int status = ObtainKeyText(inv, run.operation, err, console, keyText))
        return status;
    return RunFileOperands(run, keyText, out, err, console);
}

int RunKeygenCommand(const Invocation& inv, std::ostream& out, std::ostream& err) {
    if (!inv.operands.empty())
        return Usage(err, "keygen takes no FILE; name the key file with -o");
    KeygenRequest request;
    request.bytes = inv.bytes;
    request.output = inv.output.value_or("");
    return RunKeygen(request, out, err);
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
            std::string answer;
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

int RunMd5(const Invocation& inv, std::ostream& out, std::ostream& err, const CliConsole& console) {
    if (inv.operands.size() > 1)
        return Usage(err, "md5: give at most one TEXT (quote a text with spaces)");
    std::string line;
    Scrub scrubLine(line);
    std::string subject = "md5: TEXT";
    if (!inv.operands.empty()) {
        line = inv.operands.front();
    } else {
        subject = "md5: standard input";
        int error = 0;
        const AskStatus status =
            console.inIsTerminal
                ? AskSecret(console, kPasswordPrompt, "", line, error)
                : FromLine(ReadFirstLine(console.inFd, line, error, console.interrupted));
        if (status == AskStatus::Interrupted)
            return kExitFailed;
        if (status != AskStatus::Ok) {
            Report(err, subject, "cannot read: " + ErrorText(error));
            return kExitFailed;
        }
        DropByteOrderMark(line);
    }
    std::u16string text;
    Scrub scrubText(text);
    std::size_t bad = 0;
    if (!Utf8ToUtf16(line, text, bad)) {
        Report(err, subject, "not valid UTF-8 (byte " + std::to_string(bad + 1) + ")");
        return kExitUsage;
    }
    std::string digest = CMD5().MD5(text);
    Scrub scrubDigest(digest);
    out << digest << '\n' << std::flush;
    if (!out) {
        Report(err, "md5", "cannot write the result");
        return kExitFailed;
    }
    return kExitOk;
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

int RunCli(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
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
    if (first != "encrypt" && first != "decrypt" && first != "wipe" && first != "md5" &&
        first != "keygen") {
        if (first.starts_with('-') && LooksLikeSecretOption(first.substr(0, first.find('='))))
            return Usage(err, "keys and passwords are never taken from the command line; the "
                              "command comes first, e.g. 'quillmoor-cli encrypt --key-file "
                              "PATH FILE'");
        return Usage(err, (first.starts_with('-') ? "unknown option '" : "unknown command '") +
                              first.substr(0, first.find('=')) + "'");
    }
    Invocation inv;
    try {
        inv = Parse(args);
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
    if (inv.command == "md5")
        return RunMd5(inv, out, err, console);
    if (inv.command == "wipe")
        return RunWipe(inv, out, err, console);
    if (inv.command == "keygen")
        return RunKeygenCommand(inv, out, err);
    return RunFileCommands(inv, out, err, console);
}

} // namespace quillmoor::cli
