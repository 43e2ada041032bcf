#include "cli/KeyInput.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <functional>
#include <string_view>

#include "app/commands/Messages.h"
#include "app/commands/Utf8.h"
#include "cli/Input.h"
#include "cli/Report.h"
#include "cli/Terminal.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

constexpr std::string_view kKeyPrompt = "Key (hexadecimal): ";
constexpr std::string_view kPasswordPrompt = "Password: ";

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

// A prompt on a terminal: what is typed is not shown, and with `again` it is
// asked a second time and must be the same, since a mistyped encryption key
// loses the file.
struct Prompt {
    int in = -1;  // the terminal read from; -1 when there is none
    int out = -1; // where the prompt is written
    std::string_view text, again;
};

LineRead AskSecret(const Prompt& prompt, const CliConsole& console, SecretText& line) {
    const auto ask = [&](std::string_view text, SecretText& into) {
        LineRead read;
        if (prompt.in < 0) {
            read.status = LineStatus::Failed;
            read.error = ENXIO;
            return read;
        }
        EchoOff silent(prompt.in);
        (void)WriteAll(prompt.out, text);
        // Looked at while waiting: after a stop (Ctrl-Z, fg) the shell may
        // have turned echo back on.
        const std::function<bool()> interrupted = [&] {
            silent.Renew();
            return console.interrupted && console.interrupted();
        };
        read.status = ReadFirstLine(prompt.in, into, read.error, interrupted);
        (void)WriteAll(prompt.out, "\n"); // the Enter key was not echoed either
        return read;
    };
    LineRead read = ask(prompt.text, line);
    if (read.status != LineStatus::Ok || prompt.again.empty())
        return read;
    SecretText second;
    read = ask(prompt.again, second);
    read.mismatch = read.status == LineStatus::Ok && second != line;
    return read;
}

// One line of an open descriptor: a prompt when it is a terminal, else read.
LineRead ReadLineOf(int fd, bool terminal, const Prompt& prompt, const CliConsole& console,
                    SecretText& line) {
    if (terminal)
        return AskSecret(prompt, console, line);
    LineRead read;
    read.status = ReadFirstLine(fd, line, read.error, console.interrupted);
    DropByteOrderMark(line);
    return read;
}

// A key or password file; one that is a terminal (/dev/tty, /dev/stdin on
// one) is a prompt like any other.
LineRead ReadLineOfFile(const std::string& path, const Prompt& prompt, const CliConsole& console,
                        SecretText& line) {
    LineRead read;
    const int fd = OpenLineFile(path, read.error);
    if (fd < 0) {
        read.status = LineStatus::NotOpened;
        return read;
    }
    Prompt onFile = prompt;
    onFile.in = fd;
    read = ReadLineOf(fd, IsTerminal(fd), onFile, console, line);
    CloseLineFile(fd);
    return read;
}

// Where the key line comes from and how to talk about it.
struct KeySource {
    const KeyChoice& choice;
    bool password = false;
    std::string subject; // for messages: the option and its value, or "key"
    Prompt prompt;       // on a terminal
};

// Where the key line comes from, or, when there is nowhere to take it from,
// the status after saying why.
int ChooseKeySource(const KeyChoice& choice, commands::Command operation, const CliConsole& console,
                    std::ostream& err, std::optional<KeySource>& source) {
    // With no key option, a password is asked for on the terminal.
    if (choice.kind == KeyKind::None && console.ttyIn < 0)
        return Usage(err, "no key given, and no " + std::string(TerminalWord()) +
                              " to ask for a password on: use --key-env, --key-file, "
                              "--password-env or --password-file");
    const bool password = choice.kind == KeyKind::None || choice.kind == KeyKind::PasswordEnv ||
                          choice.kind == KeyKind::PasswordFile;
    Prompt prompt{console.ttyIn, console.ttyOut, password ? kPasswordPrompt : kKeyPrompt, {}};
    if (operation == commands::Command::Encrypt)
        prompt.again = password ? "Repeat the password: " : "Repeat the key: ";
    source.emplace(choice, password,
                   choice.kind == KeyKind::None
                       ? "password"
                       : choice.option + " " + commands::DisplayName(choice.value),
                   prompt);
    const bool fromEnvironment =
        choice.kind == KeyKind::KeyEnv || choice.kind == KeyKind::PasswordEnv;
    if (fromEnvironment && !std::getenv(choice.value.c_str())) {
        Report(err, source->subject, "the environment variable is not set");
        return kExitUsage;
    }
    return kExitOk;
}

LineRead ReadEnvironment(const std::string& name, SecretText& line) {
    LineRead read;
    const char* value = std::getenv(name.c_str());
    const std::string_view text = value ? value : ""; // unset was refused before
    if (text.size() > kMaxLineBytes + 2) {            // room for a line end that is dropped
        read.status = LineStatus::TooLong;
        return read;
    }
    line.assign(text);
    DropLineEnd(line);
    if (line.size() > kMaxLineBytes) {
        line.Wipe();
        read.status = LineStatus::TooLong;
    }
    return read;
}

LineRead ReadKeyLine(const KeySource& source, const CliConsole& console, SecretText& line) {
    const KeyChoice& choice = source.choice;
    switch (choice.kind) {
    case KeyKind::None: return AskSecret(source.prompt, console, line);
    case KeyKind::KeyEnv:
    case KeyKind::PasswordEnv: return ReadEnvironment(choice.value, line);
    case KeyKind::KeyFile:
    case KeyKind::PasswordFile:
        if (choice.value == "-")
            return ReadLineOf(console.inFd, console.inIsTerminal, source.prompt, console, line);
        return ReadLineOfFile(choice.value, source.prompt, console, line);
    }
    return {};
}

// Strict UTF-8 to the UTF-16 text the window's boxes hold.
int DecodeLine(std::string_view line, std::ostream& err, std::string_view subject,
               SecretText16& text) {
    std::size_t bad = 0;
    if (commands::Utf8ToUtf16(line, text, bad))
        return kExitOk;
    Report(err, subject, "not valid UTF-8 (byte " + std::to_string(bad + 1) + ")");
    return kExitUsage;
}

// Said on standard error unless --quiet, once the key is accepted: keys
// that work but are weak. `text` is the line as typed (before MD5).
std::string KeyWarning(commands::Command operation, bool password, std::u16string_view text) {
    if (password)
        return std::any_of(text.begin(), text.end(), [](char16_t c) { return c > 0xFF; })
                   ? "warning: the password has characters above U+00FF; each counts only by "
                     "its low 8 bits, so different passwords can give the same key"
                   : "";
    const std::size_t bytes = (text.size() + 1) / 2;
    if (operation != commands::Command::Encrypt || bytes >= 16)
        return "";
    return "warning: the key is " + std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes") +
           "; 16 or more are safer ('quillmoor-cli keygen' makes one)";
}

// Turns a password into the key text as the MD5 button does, then checks
// what the command will use; the status after saying why not, or 0.
int MakeKeyText(commands::Command operation, bool password, SecretText16& text, std::ostream& err) {
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

} // namespace

int ObtainKeyText(const Invocation& inv, commands::Command operation, std::ostream& err,
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

int ObtainMd5Text(const std::optional<std::string>& operand, std::ostream& err,
                  const CliConsole& console, SecretText16& text) {
    SecretText line;
    std::string subject = "md5: TEXT";
    LineRead read;
    if (operand && *operand != "-") {
        if (operand->size() > kMaxLineBytes)
            read.status = LineStatus::TooLong;
        else
            line = *operand;
    } else {
        subject = "md5: standard input";
        read =
            ReadLineOf(console.inFd, console.inIsTerminal,
                       Prompt{console.ttyIn, console.ttyOut, kPasswordPrompt, {}}, console, line);
    }
    if (const int status = ReportRead(read, err, subject, kExitFailed))
        return status;
    return DecodeLine(line, err, subject, text);
}

} // namespace quillmoor::cli
