#include "cli/CliMain.h"

#include <cstdlib>
#include <exception>
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
#include "cli/Input.h"
#include "cli/Progress.h"
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

// What became of one FILE operand.
enum class FileResult { Done, Failed, Stop };

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

std::optional<KeyKind> KeyOption(std::string_view name) {
    if (name == "--key-env")
        return KeyKind::KeyEnv;
    if (name == "--key-file")
        return KeyKind::KeyFile;
    if (name == "--password-env")
        return KeyKind::PasswordEnv;
    if (name == "--password-file")
        return KeyKind::PasswordFile;
    return std::nullopt;
}

// Anything that looks like an attempt to pass the secret itself.
bool LooksLikeSecretOption(std::string_view name) {
    return name.starts_with("--key") || name.starts_with("--pass") || name == "-k" || name == "-p";
}

Invocation Parse(const std::vector<std::string>& args) {
    Invocation inv;
    inv.command = args.front();
    const bool fileCommand = inv.command == "encrypt" || inv.command == "decrypt";
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
        std::string name = arg;
        std::optional<std::string> value;
        if (const auto eq = arg.find('='); arg.starts_with("--") && eq != std::string::npos) {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        const auto flag = [&](bool applies, bool& field) {
            if (!applies)
                throw UsageError("option '" + name + "' does not apply to " + inv.command);
            if (value)
                throw UsageError("option '" + name + "' takes no value");
            field = true;
        };
        if (name == "--help" || name == "-h") {
            inv.help = true;
        } else if (name == "--quiet" || name == "-q") {
            flag(inv.command != "md5", inv.quiet);
        } else if (name == "--lenient") {
            flag(inv.command == "decrypt", inv.lenient);
        } else if (name == "--yes" || name == "-y") {
            flag(inv.command == "wipe", inv.yes);
        } else if (const auto kind = KeyOption(name)) {
            if (!fileCommand)
                throw UsageError("option '" + name + "' does not apply to " + inv.command);
            if (inv.key.kind != KeyKind::None)
                throw UsageError("give only one of --key-env, --key-file, --password-env and "
                                 "--password-file");
            if (!value) {
                if (i + 1 == args.size())
                    throw UsageError("option '" + name + "' needs a value");
                value = args[++i];
            }
            if (value->empty())
                throw UsageError("option '" + name + "' needs a value that is not empty");
            inv.key = {*kind, name, *value};
        } else if (LooksLikeSecretOption(name)) {
            // Never echo the value: it may be the secret.
            throw UsageError("'" + name +
                             "': keys and passwords are never taken from the command line, "
                             "where other users can see them; use --key-env, --key-file, "
                             "--password-env or --password-file");
        } else {
            throw UsageError("unknown option '" + name + "'");
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

// Asks on the terminal without echo; with `again`, asks a second time and
// insists on the same answer, since a mistyped encryption key loses the file.
AskStatus AskSecret(const CliConsole& console, std::ostream& err, std::string_view prompt,
                    std::string_view again, std::string& line, int& error) {
    const auto ask = [&](std::string_view text, std::string& into) {
        EchoOff silent(console.inFd);
        err << text << std::flush;
        const LineStatus status = ReadFirstLine(console.inFd, into, error, console.interrupted);
        err << '\n' << std::flush; // the Enter key was not echoed either
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

// The key text from wherever the options say, as the Key box would hold it:
// a key as typed, or a password turned into 32 hex digits as by MD5.
int ObtainKeyText(const Invocation& inv, commands::Operation operation, std::ostream& err,
                  const CliConsole& console, std::u16string& keyText) {
    const KeyChoice& key = inv.key;
    const bool password = key.kind == KeyKind::PasswordEnv || key.kind == KeyKind::PasswordFile;
    const bool confirm = operation == commands::Operation::Encrypt;
    const std::string subject = key.kind == KeyKind::None ? "key" : key.option + " " + key.value;
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
        if (!console.inIsTerminal)
            return Usage(err, "no key given: use --key-env, --key-file, --password-env or "
                              "--password-file (standard input is not a terminal, so the key "
                              "cannot be asked for)");
        status = AskSecret(console, err, prompt, again, line, error);
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
                         ? AskSecret(console, err, prompt, again, line, error)
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
    auto problem = password ? commands::PasswordProblem(operation, text) : std::nullopt;
    if (password && !problem) {
        std::u16string digest = commands::KeyTextFromPassword(text);
        WipeString(text);
        text.swap(digest);
    }
    if (!problem)
        problem = commands::KeyTextProblem(operation, text);
    if (problem) {
        err << kProgram << ": " << commands::KeyProblemMessage(*problem, commands::Frame::Cli)
            << '\n';
        return kExitUsage;
    }
    keyText.swap(text);
    return kExitOk;
}

int RunFileCommands(const Invocation& inv, std::ostream& out, std::ostream& err,
                    const CliConsole& console) {
    const bool encrypt = inv.command == "encrypt";
    const commands::Operation operation =
        encrypt ? commands::Operation::Encrypt : commands::Operation::Decrypt;
    if (inv.operands.empty())
        return Usage(err, inv.command + ": no FILE given");

    std::u16string keyText;
    Scrub scrubKey(keyText);
    if (const int status = ObtainKeyText(inv, operation, err, console, keyText))
        return status;
    // The window clears the key schedule when it closes; so do we.
    struct ClearState {
        ~ClearState() { commands::ClearKeyState(); }
    } clearState;

    return ForEachFile(inv, err, console, [&](const std::string& file, const FileArgument& where) {
        commands::CommandRequest request;
        Scrub scrubRequestKey(request.keyText);
        request.operation = operation;
        request.keyText = keyText;
        request.folder = where.folder;
        request.fileName = where.name;
        request.mode = inv.lenient ? DecryptMode::Lenient : DecryptMode::Strict;
        commands::CommandOutcome outcome;
        {
            ProgressBar bar(err, commands::DisplayName(file), !inv.quiet && console.errIsTerminal,
                            console.interrupted);
            request.progress = [&bar](std::uint64_t done, std::uint64_t total) {
                return bar.Update(done, total);
            };
            outcome = commands::RunFileCommand(request);
        }
        if (outcome.status == commands::CommandStatus::Done) {
            if (!inv.quiet)
                out << (encrypt ? "encrypted " : "decrypted ") << commands::DisplayName(file)
                    << " -> " << commands::DisplayPath(outcome.target) << '\n'
                    << std::flush;
            return FileResult::Done;
        }
        ReportOutcome(err, outcome);
        return outcome.status == commands::CommandStatus::Cancelled ? FileResult::Stop
                                                                    : FileResult::Failed;
    });
}

bool IsYes(std::string_view answer) {
    return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes" || answer == "YES";
}

int RunWipe(const Invocation& inv, std::ostream& out, std::ostream& err,
            const CliConsole& console) {
    if (inv.operands.empty())
        return Usage(err, "wipe: no FILE given");
    if (!inv.yes && !console.inIsTerminal)
        return Usage(err, "wipe: refusing to wipe without --yes: standard input is not a "
                          "terminal, so nobody can confirm, and a wipe cannot be undone");

    return ForEachFile(inv, err, console, [&](const std::string& file, const FileArgument& where) {
        commands::WipeRequest request;
        request.folder = where.folder;
        request.fileName = where.name;
        if (!inv.yes) {
            err << commands::WipeQuestion(commands::SourcePath(where.folder, where.name))
                << " [y/N] " << std::flush;
            std::string answer;
            int error = 0;
            const LineStatus status =
                ReadFirstLine(console.inFd, answer, error, console.interrupted);
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
            ProgressBar bar(err, commands::DisplayName(file), !inv.quiet && console.errIsTerminal,
                            console.interrupted);
            request.progress = [&bar](std::uint64_t done, std::uint64_t total) {
                return bar.Update(done, total);
            };
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
                ? AskSecret(console, err, kPasswordPrompt, "", line, error)
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
    if (first == "--version") {
        out << kProgram << ' ' << QUILLMOOR_VERSION << '\n' << std::flush;
        return kExitOk;
    }
    if (first != "encrypt" && first != "decrypt" && first != "wipe" && first != "md5") {
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
    if (inv.command == "md5")
        return RunMd5(inv, out, err, console);
    if (inv.command == "wipe")
        return RunWipe(inv, out, err, console);
    return RunFileCommands(inv, out, err, console);
}

} // namespace quillmoor::cli
