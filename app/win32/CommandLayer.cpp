#include "app/win32/CommandLayer.h"

#include <exception>

#include "app/commands/Commands.h"
#include "app/commands/Wipe.h"
#include "app/win32/Text.h"
#include "cipher/basBlowfish.h"
#include "common/SecureWipe.h"
#include "digest/CMD5.h"

namespace quillmoor::win32 {

using namespace commands;

namespace {

std::string SourceOf(const FileChoice& choice) {
    return SourcePath(Narrow(choice.folder), Narrow(choice.fileName.value_or(L"")));
}

} // namespace

CommandResult RunFile(FileCommand command, std::u16string keyText, const FileChoice& choice,
                      const ProgressCallback& progress) {
    CommandRequest request;
    request.operation = command == FileCommand::Encrypt ? Operation::Encrypt : Operation::Decrypt;
    request.keyText = std::move(keyText);
    request.folder = Narrow(choice.folder);
    if (choice.fileName)
        request.fileName = Narrow(*choice.fileName);
    request.progress = progress;
    const CommandOutcome outcome = RunFileCommand(request);
    SecureWipe(request.keyText);

    CommandResult result;
    result.rereadList = outcome.status == CommandStatus::Done ||
                        outcome.status == CommandStatus::Cancelled ||
                        outcome.status == CommandStatus::Failed;
    result.failed =
        outcome.status == CommandStatus::KeyRefused || outcome.status == CommandStatus::Failed;
    if (result.failed)
        result.message =
            (request.operation == Operation::Encrypt ? "Cannot encrypt " : "Cannot decrypt ") +
            SourceOf(choice) + ":\n" + outcome.message;
    return result;
}

std::wstring WipeQuestionFor(const FileChoice& choice) {
    return L"Do you want to wipe file: " + Widen(SourceOf(choice));
}

CommandResult RunWipe(const FileChoice& choice, const ProgressCallback& progress,
                      const WipeTestHooks& hooks) {
    if (!choice.fileName)
        return {};
    WipeOptions options;
    options.seed = hooks.seed != 0 ? hooks.seed : ClockSeed();
    options.randomBlockObserver = hooks.randomBlockObserver;
    options.progress = progress;
    const std::string path = SourceOf(choice);
    try {
        if (WipeFile(PathFromString(path), options) == WipeResult::Cancelled)
            return {"Wiping was cancelled; " + path + " is only partly overwritten.", false, false};
    } catch (const std::exception& e) {
        return {"Cannot wipe " + path + ":\n" + e.what(), true, false};
    }
    return {};
}

std::u16string KeyTextFor(std::u16string_view password) {
    std::u16string copy(password);
    const std::string digest = CMD5().MD5(copy);
    SecureWipe(copy);
    return {digest.begin(), digest.end()};
}

void ClearKey() { BlowfishClearState(blowfishState()); }

std::wstring ProgressLabel(std::wstring_view action, const FileChoice& choice) {
    return std::wstring(action) + L" " + Widen(SourceOf(choice));
}

std::string FolderProblem(std::wstring_view folder, std::wstring_view reason) {
    return "Cannot read folder " + Narrow(folder) + ":\n" + Narrow(reason);
}

std::string DriveProblem(std::wstring_view drive, std::wstring_view reason) {
    return "Cannot read drive " + Narrow(drive) + ":\n" + Narrow(reason);
}

} // namespace quillmoor::win32
