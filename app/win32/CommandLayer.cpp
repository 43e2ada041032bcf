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
    CommandResult result;
    result.message = OutcomeMessage(outcome, Frame::Window);
    result.failed =
        outcome.status == CommandStatus::Failed || outcome.status == CommandStatus::KeyRefused;
    return result;
}

} // namespace

CommandResult RunFile(FileCommand command, SecretText16 keyText, const FileChoice& choice,
                      const ProgressCallback& progress) {
    CommandRequest request;
    request.operation = command == FileCommand::Encrypt ? Operation::Encrypt : Operation::Decrypt;
    request.keyText = std::move(keyText);
    request.folder = Narrow(choice.folder);
    request.fileName = NameOf(choice);
    request.progress = progress;
    const CommandOutcome outcome = RunFileCommand(request);

    CommandResult result = ResultOf(outcome);
    // Whatever the file routine did, the list shows the folder as it is now.
    result.rereadList = outcome.status == CommandStatus::Done ||
                        outcome.status == CommandStatus::Cancelled ||
                        outcome.status == CommandStatus::Failed;
    return result;
}

std::wstring WipeQuestionFor(const FileChoice& choice) {
    return Widen(WipeQuestion(SourceOf(choice)));
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

SecretText16 KeyTextFor(std::u16string_view password) { return KeyTextFromPassword(password); }

void ClearKey() { ClearKeyState(); }

std::wstring ProgressLabel(FileCommand command, const FileChoice& choice) {
    return Widen(commands::ProgressLabel(
        command == FileCommand::Encrypt ? Command::Encrypt : Command::Decrypt, SourceOf(choice)));
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
