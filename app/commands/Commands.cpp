#include "app/commands/Commands.h"

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "common/SecureWipe.h"
#include "convert/basConvert.h"

namespace quillmoor::commands {

namespace {

// Counts UTF-8 lead bytes from the end, so a name ending in a non-ASCII
// letter loses whole characters, as on a system with 16-bit characters.
std::size_t CutOfLastCharacters(const std::string& text, std::size_t characters) {
    std::size_t cut = text.size();
    while (characters > 0 && cut > 0) {
        --cut;
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80)
            --characters;
    }
    return cut;
}

} // namespace

std::string SourcePath(const std::string& folder, const std::string& fileName) {
    return folder + static_cast<char>(std::filesystem::path::preferred_separator) + fileName;
}

std::filesystem::path PathFromString(const std::string& path) {
#ifdef _WIN32 // a plain std::string would be widened byte by byte there
    return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
    return path;
#endif
}

std::string EncryptTargetPath(const std::string& sourcePath) { return sourcePath + ".BF"; }

std::string DecryptTargetPath(const std::string& sourcePath) {
    return sourcePath.substr(0, CutOfLastCharacters(sourcePath, 3));
}

std::optional<std::string> KeyTextProblem(Operation operation, std::u16string_view keyText) {
    if (keyText.empty())
        return "The Key box is empty. Type a hexadecimal key, or type a password in the Password "
               "box and press MD5.";
    const std::size_t bytes = (keyText.size() + 1) / 2;
    if (bytes > kBlowfishMaxKeyBytes)
        return "The key is too long: " + std::to_string(bytes) +
               " bytes. Blowfish takes 1 to 56 bytes (at most 112 hexadecimal digits).";
    if (operation == Operation::Encrypt && !IsPlainHexText(keyText))
        return "The key must be hexadecimal digits only (0-9, a-f). To use a password, type it in "
               "the Password box and press MD5.";
    return std::nullopt;
}

CommandOutcome RunFileCommand(const CommandRequest& request) {
    CommandOutcome outcome;
    if (auto problem = KeyTextProblem(request.operation, request.keyText)) {
        outcome.status = CommandStatus::KeyRefused;
        outcome.message = *problem;
        return outcome;
    }
    auto key = HexTextToBytes(request.keyText);
    const bool accepted = BlowfishSetKey(key);
    if (key)
        SecureWipe(*key);
    if (!accepted) {
        outcome.status = CommandStatus::KeyRefused;
        outcome.message = "The key was refused.";
        return outcome;
    }
    if (!request.fileName) {
        outcome.status = CommandStatus::NoSelection;
        return outcome;
    }

    const std::string source = SourcePath(request.folder, *request.fileName);
    const bool encrypt = request.operation == Operation::Encrypt;
    outcome.source = PathFromString(source);
    outcome.target =
        PathFromString(encrypt ? EncryptTargetPath(source) : DecryptTargetPath(source));
    FileCryptOptions options;
    options.progress = request.progress;
    options.mode = request.mode;
    try {
        const FileCryptResult result =
            encrypt ? BlowfishEncryptFile(outcome.source, outcome.target, request.keyText, options)
                    : BlowfishDecryptFile(outcome.source, outcome.target, request.keyText, options);
        outcome.status =
            result == FileCryptResult::Done ? CommandStatus::Done : CommandStatus::Cancelled;
    } catch (const RuntimeError& e) {
        outcome.status = CommandStatus::Failed;
        outcome.errorNumber = e.number();
        outcome.message = e.what();
    } catch (const std::exception& e) {
        outcome.status = CommandStatus::Failed;
        outcome.message = e.what();
    }
    return outcome;
}

} // namespace quillmoor::commands
