#include "cli/Keygen.h"

#include <cerrno>
#include <vector>

#include <fcntl.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <bcrypt.h>
#include <filesystem>
#include <io.h>
#include <sys/stat.h>
#else
#include <sys/random.h>
#include <unistd.h>
#endif

#include "cli/CliMain.h"
#include "cli/Input.h"
#include "common/Secret.h"
#include "filecrypt/basFileAPI.h"

namespace quillmoor::cli {

namespace {

#ifdef _WIN32
int CreateNew(const std::string& path) {
    const auto wide = std::filesystem::path(std::u8string(path.begin(), path.end()));
    return ::_wopen(wide.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
}
bool WriteAndSync(int fd, std::string_view text) {
    return ::_write(fd, text.data(), static_cast<unsigned>(text.size())) ==
               static_cast<int>(text.size()) &&
           ::_commit(fd) == 0;
}
void Remove(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(std::filesystem::path(std::u8string(path.begin(), path.end())),
                            ignored);
}
#else
// O_EXCL never replaces a file and, with O_NOFOLLOW, never follows a link
// someone left in the way.
int CreateNew(const std::string& path) {
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY,
                  0600);
}
bool WriteAndSync(int fd, std::string_view text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t put = ::write(fd, text.data() + done, text.size() - done);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        done += static_cast<std::size_t>(put);
    }
    return ::fsync(fd) == 0;
}
void Remove(const std::string& path) { ::unlink(path.c_str()); }
#endif

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
    const int fd = CreateNew(request.output);
    if (fd < 0) {
        error = errno;
        return Fail(err, request.output,
                    error == EEXIST ? "cannot create: the file exists; a key file is never "
                                      "replaced"
                                    : "cannot create: " + ErrorText(error));
    }
    const bool written = WriteAndSync(fd, line);
    error = errno;
    const bool closed = ::close(fd) == 0;
    if (written && closed)
        return kExitOk;
    if (written)
        error = errno;
    Remove(request.output); // no half-written key file
    return Fail(err, request.output, "cannot write: " + ErrorText(error));
}

} // namespace quillmoor::cli
