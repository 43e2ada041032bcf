#include "app/commands/Commands.h"

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "common/SecureWipe.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishStreamFns.h"

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

std::optional<std::string> PrepareKeyState(Operation operation, std::u16string_view keyText,
                                           BlowfishState& state) {
    if (auto problem = KeyTextProblem(operation, keyText))
        return problem;
    auto key = HexTextToBytes(keyText);
    const bool accepted = key && BlowfishSetKey(state, *key);
    if (key)
        SecureWipe(*key);
    if (!accepted)
        return "The key was refused.";
    return std::nullopt;
}

namespace {

// Standard input or output at one end: the stream routines, with a file at
// the other end read or replaced as the file routines do it.
FileCryptResult RunStreams(const CommandRequest& request, const std::filesystem::path& source,
                           const std::filesystem::path& target, const FileCryptOptions& options) {
    std::optional<DescriptorSource> fromDescriptor;
    std::optional<FileSource> fromFile;
    if (request.sourceDescriptor >= 0)
        fromDescriptor.emplace(request.sourceDescriptor, source);
    else
        fromFile.emplace(source);
    StreamSource& in = fromDescriptor ? static_cast<StreamSource&>(*fromDescriptor) : *fromFile;
    std::optional<DescriptorSink> toDescriptor;
    std::optional<FileSink> toFile;
    if (request.targetDescriptor >= 0)
        toDescriptor.emplace(request.targetDescriptor, target);
    else
        toFile.emplace(target, 0600u); // what came through a pipe may be anyone's secret
    StreamSink& out = toDescriptor ? static_cast<StreamSink&>(*toDescriptor) : *toFile;
    return request.operation == Operation::Encrypt
               ? BlowfishEncryptStream(in, out, request.keyText, options)
               : BlowfishDecryptStream(in, out, request.keyText, options);
}

} // namespace

CommandOutcome RunFileCommand(const CommandRequest& request) {
    CommandOutcome outcome;
    if (!request.state) {
        if (auto problem = PrepareKeyState(request.operation, request.keyText, blowfishState())) {
            outcome.status = CommandStatus::KeyRefused;
            outcome.message = *problem;
            return outcome;
        }
    } else if (auto problem = KeyTextProblem(request.operation, request.keyText)) {
        outcome.status = CommandStatus::KeyRefused;
        outcome.message = *problem;
        return outcome;
    }
    if (!request.fileName) {
        outcome.status = CommandStatus::NoSelection;
        return outcome;
    }

    const bool encrypt = request.operation == Operation::Encrypt;
    const bool fromStream = request.sourceDescriptor >= 0;
    const bool toStream = request.targetDescriptor >= 0;
    const std::string source =
        fromStream ? "standard input" : SourcePath(request.folder, *request.fileName);
    outcome.source = PathFromString(source);
    outcome.target = toStream         ? std::filesystem::path("standard output")
                     : request.target ? PathFromString(*request.target)
                                      : PathFromString(encrypt ? EncryptTargetPath(source)
                                                               : DecryptTargetPath(source));
    std::error_code ignored;
    if (!toStream && !request.replaceTarget &&
        std::filesystem::symlink_status(outcome.target, ignored).type() !=
            std::filesystem::file_type::not_found) {
        outcome.status = CommandStatus::Failed;
        outcome.errorNumber = kErrDeviceUnavailable;
        outcome.message = "cannot create '" + outcome.target.string() +
                          "': the file exists, and it is not to be replaced";
        return outcome;
    }
    FileCryptOptions options;
    options.progress = request.progress;
    options.mode = request.mode;
    options.state = request.state;
    options.threads = request.threads;
    try {
        FileCryptResult result;
        if (fromStream || toStream)
            result = RunStreams(request, outcome.source, outcome.target, options);
        else if (encrypt)
            result = BlowfishEncryptFile(outcome.source, outcome.target, request.keyText, options);
        else
            result = BlowfishDecryptFile(outcome.source, outcome.target, request.keyText, options);
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
