#include "app/win32/CommandLayer.h"

#include "app/commands/Commands.h"
#include "app/commands/Messages.h"
#include "app/win32/Text.h"

namespace quillmoor::win32 {

using namespace commands;

namespace {

std::string SourceOf(const FileChoice& choice) {
    return SourcePath(Narrow(choice.folder), Narrow(choice.fileName.value_or(L"")));
}

std::optional<std::string> NameOf(const FileChoice& choice) {
    if (!choice.fileName)
        return std::nullopt;
    return Narrow(*choice.fileName);
}

CommandResult ResultOf(const CommandOutcome& outcome) {
    return {OutcomeBox(outcome), RereadsFileList(outcome)};
}

bool HasLoneSurrogate(std::wstring_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool high = text[i] >= 0xD800 && text[i] <= 0xDBFF;
        const bool low = text[i] >= 0xDC00 && text[i] <= 0xDFFF;
        if (low || (high && (i + 1 == text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF)))
            return true;
        i += high ? 1 : 0;
    }
    return false;
}

} // namespace

CommandResult RunFile(Command command, SecretText16 keyText, const FileChoice& choice,
                      const ProgressCallback& progress) {
    CommandRequest request;
    request.operation = command;
    request.keyText = std::move(keyText);
    request.folder = Narrow(choice.folder);
    request.fileName = NameOf(choice);
    request.progress = progress;
    const CommandOutcome outcome = RunFileCommand(request);
    return ResultOf(outcome);
}

std::optional<Box> StaleKeyQuestionFor(Command command, const FileChoice& choice,
                                       std::u16string_view password, std::u16string_view keyText) {
    return StaleKeyBox(command, choice.fileName.has_value(), password, keyText);
}

Box WipeQuestionFor(const FileChoice& choice) { return WipeQuestionBox(SourceOf(choice)); }

std::optional<Box> UnnamableChoice(const FileChoice& choice) {
    if (!choice.fileName ||
        (!HasLoneSurrogate(*choice.fileName) && !HasLoneSurrogate(choice.folder)))
        return std::nullopt;
    // Each unit as three bytes, so the half pair shows as its own escapes,
    // not as the replacement character another name may hold.
    std::string shown;
    for (const wchar_t unit : choice.folder + L'\\' + *choice.fileName) {
        if (unit < 0x80) {
            shown += static_cast<char>(unit);
            continue;
        }
        const auto u = static_cast<unsigned>(unit);
        if (u < 0x800) {
            shown += static_cast<char>(0xC0 | (u >> 6));
        } else {
            shown += static_cast<char>(0xE0 | (u >> 12));
            shown += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        }
        shown += static_cast<char>(0x80 | (u & 0x3F));
    }
    return ErrorBox(NotUnicodeMessage(shown));
}

CommandResult RunWipe(const FileChoice& choice, const ProgressCallback& progress,
                      const WipeTestHooks& hooks) {
    WipeRequest request;
    request.folder = Narrow(choice.folder);
    request.fileName = NameOf(choice);
    request.seed = hooks.seed;
    request.randomBlockObserver = hooks.randomBlockObserver;
    request.progress = progress;
    return ResultOf(RunWipeCommand(request));
}

int OpenForReading(const std::wstring& path) { return OpenForReadingError(Narrow(path)); }

SecretText16 KeyTextFor(std::u16string_view password) { return KeyTextFromPassword(password); }

void ClearKey() { ClearKeyState(); }

std::wstring ProgressLabel(Command command, const FileChoice& choice) {
    return Widen(commands::ProgressLabel(command, SourceOf(choice)));
}

std::wstring WipeProgressLabel(const FileChoice& choice) {
    return Widen(commands::ProgressLabel(Command::Wipe, SourceOf(choice)));
}

std::string FolderProblem(std::wstring_view folder, std::wstring_view reason) {
    return ListFailureMessage(ListEntry::Folder, Narrow(folder), Narrow(reason));
}

std::string DriveProblem(std::wstring_view drive, std::wstring_view reason) {
    return ListFailureMessage(ListEntry::Drive, Narrow(drive), Narrow(reason));
}

} // namespace quillmoor::win32
