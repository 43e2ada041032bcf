#include "app/commands/Messages.h"

#include "common/RuntimeError.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::commands {

namespace {

// --- Showing names -----------------------------------------------------------

// The length of the valid UTF-8 character at text[i] and its value, or 0
// when the bytes there are not one (overlong, surrogate, cut off, too big).
std::size_t CharacterAt(std::string_view text, std::size_t i, char32_t& value) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    char32_t minimum = 0;
    if (lead < 0x80)
        return value = lead, 1;
    if (lead >= 0xC2 && lead <= 0xDF)
        length = 2, minimum = 0x80, value = lead & 0x1F;
    else if (lead >= 0xE0 && lead <= 0xEF)
        length = 3, minimum = 0x800, value = lead & 0x0F;
    else if (lead >= 0xF0 && lead <= 0xF4)
        length = 4, minimum = 0x10000, value = lead & 0x07;
    else
        return 0;
    if (text.size() - i < length)
        return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (byte(k) & 0x3F);
    }
    const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
    return value < minimum || value > 0x10FFFF || surrogate ? 0 : length;
}

// Characters that would move the cursor, start a terminal sequence, break
// the line or turn the text around.
bool NeedsEscape(char32_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029 ||
           c == 0x200E || c == 0x200F || (c >= 0x202A && c <= 0x202E) ||
           (c >= 0x2066 && c <= 0x2069);
}

void AppendEscaped(std::string& out, unsigned char byte) {
    constexpr std::string_view kNamed = "abtnvfr"; // bytes 7 to 13
    if (byte >= 7 && byte <= 13) {
        out += '\\';
        out += kNamed[byte - 7];
        return;
    }
    out += '\\';
    out += static_cast<char>('0' + (byte >> 6));
    out += static_cast<char>('0' + ((byte >> 3) & 7));
    out += static_cast<char>('0' + (byte & 7));
}

bool ShowsAsItIs(std::string_view name) {
    char32_t c = 0;
    for (std::size_t i = 0, n = 0; i < name.size(); i += n)
        if ((n = CharacterAt(name, i, c)) == 0 || NeedsEscape(c))
            return false;
    return true;
}

// --- Sentences ------------------------------------------------------------------

std::string WithFirst(std::string text, bool upper) {
    char& first = text.front();
    if (upper && first >= 'a' && first <= 'z')
        first = static_cast<char>(first - 'a' + 'A');
    if (!upper && first >= 'A' && first <= 'Z')
        first = static_cast<char>(first - 'A' + 'a');
    return text;
}

// Sentences are written for the window; the command-line tool's follow its
// "quillmoor-cli: " in lower case and without the final full stop.
std::string Framed(std::string sentence, Frame frame) {
    if (frame == Frame::Cli && !sentence.empty()) {
        sentence = WithFirst(std::move(sentence), false);
        if (sentence.back() == '.')
            sentence.pop_back();
    }
    return sentence;
}

std::string_view Verb(Command command) {
    switch (command) {
    case Command::Encrypt: return "encrypt";
    case Command::Decrypt: return "decrypt";
    case Command::Wipe: return "wipe";
    }
    return "";
}

std::string_view Gerund(Command command) {
    switch (command) {
    case Command::Encrypt: return "Encrypting";
    case Command::Decrypt: return "Decrypting";
    case Command::Wipe: return "Wiping";
    }
    return "";
}

std::string NoSelectionSentence(Command command, Frame frame) {
    if (frame == Frame::Cli)
        return "No file given to " + std::string(Verb(command)) + ".";
    const std::string verb(Verb(command));
    return "No file is selected. Select the file to " + verb + " in the file list, then press " +
           WithFirst(verb, true) + ".";
}

std::string CancelledSentence(const CommandOutcome& outcome, Frame frame) {
    const bool wipe = outcome.command == Command::Wipe;
    // In the window the user pressed Cancel and sees the file unchanged.
    if (!wipe && frame == Frame::Window)
        return {};
    return std::string(Gerund(outcome.command)) + " " + DisplayPath(outcome.source) + " was " +
           (frame == Frame::Window ? "cancelled" : "interrupted") + "; " +
           (wipe                    ? "it is only partly overwritten."
            : outcome.partialOutput ? "the output is incomplete."
                                    : "nothing was changed.");
}

// What to do next, or what the failure left, after a failure of the file
// routines or the wipe.
std::string Advice(const CommandOutcome& outcome) {
    if (outcome.command == Command::Wipe)
        return outcome.failure.action == "cannot write" ? "The file is only partly overwritten."
                                                        : "Nothing was overwritten.";
    // Standard output cannot take back what it was given.
    if (outcome.partialOutput)
        return outcome.errorNumber == kErrWrongKeyOrDamaged
                   ? "Check the key; the output stops before the final block."
                   : "The output is incomplete.";
    switch (outcome.errorNumber) {
    case kErrWrongKeyOrDamaged: return "Check the key; nothing was written.";
    case kErrDiskFull: return "Nothing was written; make room and try again.";
    case kErrChangedWhileRead:
        return "Nothing was written; try again once nothing else is writing to it.";
    default: return "Nothing was written.";
    }
}

// A link refused as a source to wipe or as a target: say where it leads,
// so that file can be reached by its own name.
std::string LinkAdvice(Command command, Frame frame) {
    if (command == Command::Wipe)
        return "; wipe that file by its own name. Nothing was overwritten.";
    const std::string verb(Verb(command));
    if (frame == Frame::Window)
        return "; remove the link, then press " + WithFirst(verb, true) +
               " again. Nothing was written.";
    return "; " + verb +
           " to that file by its own name with -o, or remove the link. Nothing was "
           "written.";
}

std::string FailedSentence(const CommandOutcome& outcome, Frame frame) {
    const Failure& failure = outcome.failure;
    if (failure.problem == FileProblem::NoNameLeft)
        return "Cannot decrypt " + DisplayPath(failure.path) +
               ": the decrypted file takes this name less its last three characters, and the "
               "name has no more than three. Rename it, for example with .BF at the end; "
               "nothing was written.";
    if (failure.problem == FileProblem::TargetExists)
        return "Cannot create " + DisplayPath(failure.path) +
               ": the file exists, and it is to be kept. Nothing was written.";
    // Without parts the failure names no file of its own: name the source.
    const bool parts = !failure.action.empty();
    std::string sentence =
        WithFirst(parts ? failure.action : "cannot " + std::string(Verb(outcome.command)), true);
    sentence.append(" ").append(DisplayPath(parts ? failure.path : outcome.source));
    // Something planted at every name the temporary file may take: name it.
    if (outcome.errorNumber == kErrTemporaryInTheWay)
        return sentence.append(": no name is free for its temporary file; ")
            .append(DisplayPath(failure.other))
            .append(" is in the way (")
            .append(failure.reason)
            .append("). Remove what is in the way; nothing was written.");
    sentence.append(": ").append(failure.reason);
    if (outcome.errorNumber == kErrSymbolicLink && !failure.other.empty())
        return sentence.append(" to ")
            .append(DisplayPath(failure.other))
            .append(LinkAdvice(outcome.command, frame));
    if (sentence.back() != '.')
        sentence += '.';
    return sentence.append(" ").append(Advice(outcome));
}

std::string KeyProblemSentence(KeyProblem problem, Frame frame) {
    const bool window = frame == Frame::Window;
    const std::string choose = window ? "Type a password in the Password box and press MD5."
                                      : "Choose a password that is not empty.";
    switch (problem) {
    case KeyProblem::EmptyKey:
        return window ? "The Key box is empty. Type a hexadecimal key, or type a password in the "
                        "Password box and press MD5."
                      : "The key is empty. Give a hexadecimal key, or use --password-env or "
                        "--password-file for a password.";
    case KeyProblem::KeyTooLong:
        return "The key is too long: Blowfish takes 1 to 56 bytes, at most 112 hexadecimal "
               "digits.";
    case KeyProblem::NotHex:
        return "The key must be hexadecimal digits only (0-9, a-f). " +
               std::string(window ? "To use a password, type it in the Password box and press MD5."
                                  : "For a password use --password-env or --password-file.");
    case KeyProblem::EmptyPassword:
        return "The password is empty, and a file encrypted under it opens for anyone. " + choose;
    case KeyProblem::EmptyPasswordDigest:
        return "The key is the MD5 digest of an empty password, so the file would open for "
               "anyone. " +
               choose;
    case KeyProblem::Refused: break;
    }
    return "The key was refused.";
}

} // namespace

std::string DisplayName(std::string_view name) {
    if (ShowsAsItIs(name))
        return std::string(name);
    std::string out;
    enum class Run { None, Quoted, Escaped } run = Run::None;
    const auto enter = [&](Run next) {
        if (run == next)
            return;
        if (run != Run::None)
            out += '\'';
        out += next == Run::Quoted ? "'" : "$'";
        run = next;
    };
    char32_t c = 0;
    for (std::size_t i = 0, n = 0; i < name.size(); i += n) {
        n = CharacterAt(name, i, c);
        if (n == 0 || NeedsEscape(c)) {
            enter(Run::Escaped);
            for (std::size_t k = 0; k < (n == 0 ? 1 : n); ++k)
                AppendEscaped(out, static_cast<unsigned char>(name[i + k]));
            n = n == 0 ? 1 : n;
        } else if (c == '\'') {
            enter(Run::Escaped);
            out += "\\'";
        } else {
            enter(Run::Quoted);
            out.append(name.substr(i, n));
        }
    }
    return out + "'";
}

std::string DisplayPath(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string text = path.u8string();
    return DisplayName(std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
#else
    return DisplayName(path.native());
#endif
}

std::string WipeQuestion(const std::string& path) {
    return "Do you want to wipe file: " + DisplayName(path);
}

std::string OpenFailedMessage(const std::string& path, int error) {
    return "Cannot open " + DisplayName(path) + ": " + ErrorText(error) + ".";
}

std::string OneFileAtATimeMessage(const std::string& selected) {
    return "One file is taken at a time: " + DisplayName(selected) + " is selected.";
}

std::string CloseWhileBusyQuestion() {
    return "Quillmoor is still working. The operation must finish or be cancelled before the "
           "window closes.\nCancel it now?";
}

std::string NotUnicodeMessage(const std::string& path) {
    return "Cannot use " + DisplayName(path) +
           ": the name holds a character that is not valid Unicode, so it could be taken for "
           "another file's. Rename the file, then try again; nothing was changed.";
}

std::string StaleKeyQuestion() {
    return "The key is not the MD5 of the password. Encrypt with the key in the Key box anyway?";
}

std::string ProgressLabel(Command command, const std::string& path) {
    return std::string(Gerund(command)) + " " + DisplayName(path);
}

std::string ListFailureMessage(ListEntry entry, const std::string& path,
                               const std::string& reason) {
    return std::string(entry == ListEntry::Drive ? "Cannot read drive " : "Cannot read folder ") +
           DisplayName(path) + ":\n" + reason;
}

std::string KeyProblemMessage(KeyProblem problem, Frame frame) {
    return Framed(KeyProblemSentence(problem, frame), frame);
}

std::string OutcomeMessage(const CommandOutcome& outcome, Frame frame) {
    std::string sentence;
    switch (outcome.status) {
    case CommandStatus::Done: break;
    case CommandStatus::NoSelection: sentence = NoSelectionSentence(outcome.command, frame); break;
    case CommandStatus::Cancelled: sentence = CancelledSentence(outcome, frame); break;
    case CommandStatus::KeyRefused:
        sentence =
            "Cannot " + std::string(Verb(outcome.command)) + " " + DisplayPath(outcome.source) +
            ": " +
            WithFirst(KeyProblemSentence(outcome.keyProblem.value_or(KeyProblem::Refused), frame),
                      false);
        break;
    case CommandStatus::Failed: sentence = FailedSentence(outcome, frame); break;
    }
    return Framed(std::move(sentence), frame);
}

} // namespace quillmoor::commands
