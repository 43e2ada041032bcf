#include "app/commands/Commands.h"

#include <algorithm>
#include <exception>
#include <vector>

#include "app/commands/Wipe.h"
#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "digest/CMD5.h"
#include "filecrypt/BlowfishBatch.h"
#include "filecrypt/basBlowfishStreamFns.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::commands {

namespace {

// MD5 of the empty text: what the MD5 button makes of an empty Password box.
constexpr std::u16string_view kEmptyPasswordDigest = u"d41d8cd98f00b204e9800998ecf8427e";

// Counts UTF-8 lead bytes from the end, so a name ending in a non-ASCII
// letter loses whole characters, as on a system with 16-bit characters.
// Returns npos when the text has no more than `characters` characters.
std::size_t CutOfLastCharacters(std::string_view text, std::size_t characters) {
    std::size_t cut = text.size();
    while (characters > 0 && cut > 0) {
        --cut;
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80)
            --characters;
    }
    return characters > 0 || cut == 0 ? std::string_view::npos : cut;
}

bool EqualsIgnoringCase(std::u16string_view text, std::u16string_view lower) {
    return text.size() == lower.size() &&
           std::equal(text.begin(), text.end(), lower.begin(), [](char16_t a, char16_t b) {
               return (a >= u'A' && a <= u'Z' ? a + (u'a' - u'A') : a) == b;
           });
}

void SetFailure(CommandOutcome& outcome, const RuntimeError& e) {
    outcome.status = CommandStatus::Failed;
    outcome.errorNumber = e.number();
    outcome.failure.action = e.action();
    outcome.failure.path = e.path();
    outcome.failure.reason = e.action().empty() ? e.what() : e.reason();
    outcome.failure.other = e.other();
    if (e.number() == kErrTargetExists)
        outcome.failure.problem = FileProblem::TargetExists;
}

void SetFailure(CommandOutcome& outcome, const std::exception& e) {
    outcome.status = CommandStatus::Failed;
    outcome.failure.reason = e.what();
}

// Runs `work`, turning whatever it throws into a Failed outcome.
template <typename Work> void Guarded(CommandOutcome& outcome, Work work) {
    try {
        work();
    } catch (const RuntimeError& e) {
        SetFailure(outcome, e);
    } catch (const std::exception& e) {
        SetFailure(outcome, e);
    }
}

// Sets up the key, as every click does whether or not a file is selected;
// a key the caller set up already is only checked against the text.
std::optional<KeyProblem> SetUpKey(const CommandRequest& request) {
    if (request.state)
        return KeyTextProblem(request.operation, request.keyText);
    return PrepareKeyState(request.operation, request.keyText, blowfishState());
}

// Takes the output of a check and keeps none of it.
class DiscardSink final : public StreamSink {
  public:
    void Write(std::span<const std::uint8_t>) override {}
    void Commit() override {}
};

// A stream that is the very file at the other end (`-o - >> p.BF`, `- -o x.BF
// < x.BF`) would eat its own output or destroy its only copy: refused before
// anything is read, as cat does.
void RefuseOneFileAtBothEnds(const CommandRequest& request, const CommandOutcome& outcome) {
    const auto source = request.sourceDescriptor >= 0
                            ? IdentityOfDescriptor(request.sourceDescriptor)
                            : IdentityOfPath(outcome.source);
    const auto target = request.targetDescriptor >= 0
                            ? IdentityOfDescriptor(request.targetDescriptor)
                            : IdentityOfPath(outcome.target);
    if (source && target && *source == *target)
        throw RuntimeError(kErrSameFile,
                           request.targetDescriptor >= 0 ? "cannot write" : "cannot create",
                           outcome.target, ErrorText(kRefusedSameFile), outcome.source);
}

// Standard input or output at one end: the stream routines, with a file at
// the other end read, or replaced as the file routines replace a target.
FileCryptResult RunStreams(const CommandRequest& request, CommandOutcome& outcome,
                           const FileCryptOptions& options) {
    RefuseOneFileAtBothEnds(request, outcome);
    std::optional<DescriptorSource> fromDescriptor;
    std::optional<FileSource> fromFile;
    if (request.sourceDescriptor >= 0)
        fromDescriptor.emplace(request.sourceDescriptor, outcome.source);
    else
        fromFile.emplace(outcome.source);
    StreamSource& in = fromDescriptor ? static_cast<StreamSource&>(*fromDescriptor) : *fromFile;
    std::optional<DescriptorSink> toDescriptor;
    std::optional<FileSink> toFile;
    DiscardSink nowhere;
    if (request.discardOutput)
        ; // nothing is written
    else if (request.targetDescriptor >= 0)
        toDescriptor.emplace(request.targetDescriptor, outcome.target);
    else
        // What came through a pipe may be anyone's secret.
        toFile.emplace(outcome.target, 0600u,
                       options.replaceTarget ? Existing::Replace : Existing::Keep);
    StreamSink& out = toDescriptor ? static_cast<StreamSink&>(*toDescriptor)
                      : toFile     ? static_cast<StreamSink&>(*toFile)
                                   : nowhere;
    FileCryptResult result = FileCryptResult::Cancelled;
    try {
        result = request.operation == Command::Encrypt
                     ? BlowfishEncryptStream(in, out, request.keyText, options)
                     : BlowfishDecryptStream(in, out, request.keyText, options);
    } catch (...) {
        outcome.partialOutput = toDescriptor && toDescriptor->Written() > 0;
        throw;
    }
    outcome.partialOutput =
        result == FileCryptResult::Cancelled && toDescriptor && toDescriptor->Written() > 0;
    return result;
}

} // namespace

std::optional<KeyProblem> PrepareKeyState(Command operation, std::u16string_view keyText,
                                          BlowfishState& state) {
    if (auto problem = KeyTextProblem(operation, keyText))
        return problem;
    const SecretBytes key = HexTextToKeyBytes(keyText);
    const bool accepted = BlowfishSetKey(state, key);
    return accepted ? std::nullopt : std::optional(KeyProblem::Refused);
}

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

std::optional<std::string> DecryptTargetPath(const std::string& sourcePath) {
    const std::size_t slash = sourcePath.find_last_of(kPathSeparators);
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t cut = CutOfLastCharacters(std::string_view(sourcePath).substr(nameStart), 3);
    if (cut == std::string_view::npos)
        return std::nullopt;
    return sourcePath.substr(0, nameStart + cut);
}

bool MeansStandardOutput(std::string_view target) {
    constexpr std::string_view kNames[] = {"-", "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"};
    return std::find(std::begin(kNames), std::end(kNames), target) != std::end(kNames);
}

int OpenForReadingError(const std::string& path) {
    int error = 0;
    const FileHandle handle = OpenExistingForReading(PathFromString(path), error);
    if (handle == kInvalidHandle)
        return error;
    CloseQuietly(handle);
    return 0;
}

std::optional<KeyProblem> KeyTextProblem(Command operation, std::u16string_view keyText) {
    if (keyText.empty())
        return KeyProblem::EmptyKey;
    if ((keyText.size() + 1) / 2 > kBlowfishMaxKeyBytes)
        return KeyProblem::KeyTooLong;
    if (operation == Command::Decrypt)
        return std::nullopt;
    if (!IsPlainHexText(keyText))
        return KeyProblem::NotHex;
    if (EqualsIgnoringCase(keyText, kEmptyPasswordDigest))
        return KeyProblem::EmptyPasswordDigest;
    return std::nullopt;
}

std::optional<KeyProblem> PasswordProblem(Command operation, std::u16string_view password) {
    if (operation == Command::Encrypt && password.empty())
        return KeyProblem::EmptyPassword;
    return std::nullopt;
}

SecretText16 KeyTextFromPassword(std::u16string_view password) {
    const SecretText digest = CMD5().Digest(password);
    return SecretText16(digest.begin(), digest.end());
}

bool KeyMayBeStale(std::u16string_view password, std::u16string_view keyText) {
    if (password.empty())
        return false;
    return !EqualsIgnoringCase(keyText, KeyTextFromPassword(password));
}

void ClearKeyState() noexcept { BlowfishClearState(blowfishState()); }

namespace {

// What RunFileCommand settles before any file is touched: the key, the
// source and the target. True when the file routine is to run.
bool PrepareFileCommand(const CommandRequest& request, CommandOutcome& outcome) {
    const bool encrypt = request.operation == Command::Encrypt;
    outcome.command = encrypt ? Command::Encrypt : Command::Decrypt;
    const std::optional<KeyProblem> keyProblem = SetUpKey(request);
    if (!request.fileName) {
        outcome.status = CommandStatus::NoSelection;
        return false;
    }
    const bool fromStream = request.sourceDescriptor >= 0;
    const bool toStream = request.targetDescriptor >= 0;
    const std::string source =
        fromStream ? "standard input" : SourcePath(request.folder, *request.fileName);
    outcome.source = PathFromString(source);
    if (keyProblem) {
        outcome.status = CommandStatus::KeyRefused;
        outcome.keyProblem = keyProblem;
        return false;
    }
    const std::optional<std::string> target = request.discardOutput ? std::string()
                                              : toStream            ? "standard output"
                                              : request.target      ? request.target
                                              : encrypt             ? EncryptTargetPath(source)
                                                                    : DecryptTargetPath(source);
    if (!target) {
        outcome.status = CommandStatus::Failed;
        outcome.failure.problem = FileProblem::NoNameLeft;
        outcome.failure.path = outcome.source;
        return false;
    }
    outcome.target = PathFromString(*target);
    return true;
}

CommandStatus StatusOf(FileCryptResult result) {
    return result == FileCryptResult::Done ? CommandStatus::Done : CommandStatus::Cancelled;
}

} // namespace

CommandOutcome RunFileCommand(const CommandRequest& request) {
    CommandOutcome outcome;
    if (!PrepareFileCommand(request, outcome))
        return outcome;
    FileCryptOptions options;
    options.progress = request.progress;
    options.mode = request.mode;
    options.state = request.state;
    options.threads = request.threads;
    options.replaceTarget = request.replaceTarget;
    Guarded(outcome, [&] {
        FileCryptResult result;
        if (request.sourceDescriptor >= 0 || request.targetDescriptor >= 0 || request.discardOutput)
            result = RunStreams(request, outcome, options);
        else if (request.operation == Command::Encrypt)
            result = BlowfishEncryptFile(outcome.source, outcome.target, request.keyText, options);
        else
            result = BlowfishDecryptFile(outcome.source, outcome.target, request.keyText, options);
        outcome.status = StatusOf(result);
    });
    return outcome;
}

void RunEncryptCommands(std::span<const CommandRequest> requests, const EncryptBatchPlan& plan,
                        const std::function<void(std::size_t, const CommandOutcome&)>& finished) {
    std::vector<CommandOutcome> outcomes(requests.size());
    std::vector<EncryptBatchFile> files;
    std::vector<std::size_t> requestOf;
    for (std::size_t i = 0; i < requests.size(); ++i) {
        if (!PrepareFileCommand(requests[i], outcomes[i])) {
            finished(i, outcomes[i]);
            continue;
        }
        files.push_back({outcomes[i].source, outcomes[i].target, requests[i].progress,
                         requests[i].replaceTarget});
        requestOf.push_back(i);
    }
    if (files.empty())
        return;
    EncryptBatchOptions options;
    options.state = requests.front().state;
    options.threads = plan.threads;
    options.filesAtOnce = plan.filesAtOnce;
    options.stop = plan.stop;
    const auto report = [&](std::size_t k, const EncryptBatchResult& result) {
        CommandOutcome& outcome = outcomes[requestOf[k]];
        Guarded(outcome, [&] {
            if (result.error)
                std::rethrow_exception(result.error);
            outcome.status = StatusOf(result.result);
        });
        finished(requestOf[k], outcome);
    };
    try {
        BlowfishEncryptFiles(files, requests.front().keyText, options, report);
    } catch (const std::exception& e) { // before any file started
        for (const std::size_t i : requestOf) {
            SetFailure(outcomes[i], e);
            finished(i, outcomes[i]);
        }
    }
}

CommandOutcome RunWipeCommand(const WipeRequest& request) {
    CommandOutcome outcome;
    outcome.command = Command::Wipe;
    if (!request.fileName) {
        outcome.status = CommandStatus::NoSelection;
        return outcome;
    }
    outcome.source = PathFromString(SourcePath(request.folder, *request.fileName));
    WipeOptions options;
    options.seed = request.seed != 0 ? request.seed : ClockSeed();
    options.progress = request.progress;
    options.randomBlockObserver = request.randomBlockObserver;
    options.after = request.after;
    Guarded(outcome, [&] {
        outcome.status = WipeFile(outcome.source, options) == WipeResult::Done
                             ? CommandStatus::Done
                             : CommandStatus::Cancelled;
    });
    return outcome;
}

} // namespace quillmoor::commands
