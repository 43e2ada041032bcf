#include "cli/Keygen.h"

#include <cerrno>
#include <filesystem>
#include <vector>

// The system's random source; files go through the file layer.
#ifdef _WIN32
#include "common/WindowsApi.h"

#include <bcrypt.h>
#else
#include <sys/random.h>
#endif

#include "app/commands/Commands.h"
#include "cli/CliMain.h"
#include "cli/Input.h"
#include "common/Secret.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

int Fail(std::ostream& err, const std::string& subject, const std::string& reason) {
    err << "quillmoor-cli: " << subject << ": " << reason << '\n' << std::flush;
    return kExitFailed;
}

} // namespace

bool SystemRandomBytes(std::span<std::uint8_t> bytes, int& error) {
#ifdef _WIN32
    const NTSTATUS status = ::BCryptGenRandom(
        nullptr, bytes.data(), static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    error = EIO;
    return status >= 0;
#else
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t got = ::getrandom(bytes.data() + done, bytes.size() - done, 0);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = errno;
            return false;
        }
        done += static_cast<std::size_t>(got);
    }
    return true;
#endif
}

SecretText KeyHexLine(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789abcdef";
    SecretText line;
    line.reserve(bytes.size() * 2 + 1);
    for (const std::uint8_t b : bytes) {
        line.push_back(kDigits[b >> 4]);
        line.push_back(kDigits[b & 0x0F]);
    }
    line.push_back('\n');
    return line;
}

int RunKeygen(const KeygenRequest& request, std::ostream& out, std::ostream& err) {
    SecretBytes key(request.bytes);
    int error = 0;
    if (!SystemRandomBytes(key, error))
        return Fail(err, "keygen", "no random bytes from the system: " + ErrorText(error));
    const SecretText line = KeyHexLine(key);
    key.Wipe();

    if (request.output.empty() || request.output == "-") {
        out << line << std::flush;
        return out ? kExitOk : Fail(err, "keygen", "cannot write to standard output");
    }
    const std::filesystem::path path = commands::PathFromString(request.output);
    const FileHandle file = CreateNewPrivateFile(path, error);
    if (file < 0)
        return Fail(err, request.output,
                    error == EEXIST ? "cannot create: the file exists; a key file is never "
                                      "replaced"
                                    : "cannot create: " + ErrorText(error));
    const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(line.data()),
                                              line.size());
    const IoResult written = WriteFully(file, bytes);
    error = written.error;
    const bool synced = written.ok && SyncOpenFile(file, error);
    const bool closed = FlushAndClose(file, error);
    if (synced && closed)
        return kExitOk;
    RemoveQuietly(path); // no half-written key file
    return Fail(err, request.output, "cannot write: " + ErrorText(error));
}

} // namespace quillmoor::cli
