#pragma once

// Temporary folders and small file helpers for the tests that touch disk.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "filecrypt/basFileAPI.h"

#ifdef _WIN32
#include "common/WindowsApi.h"
#else
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace quillmoor::test {

namespace fs = std::filesystem;

// A fresh folder, removed with everything in it at the end of the test.
class TempDir {
  public:
    explicit TempDir(const fs::path& base = fs::temp_directory_path()) {
#ifdef _WIN32
        std::random_device device;
        for (int attempt = 0;; ++attempt) {
            path_ = base / ("quillmoor-test-" + std::to_string(device()));
            if (fs::create_directory(path_))
                break;
            if (attempt == 100)
                throw std::runtime_error("cannot make a test folder");
        }
#else
        std::string pattern = (base / "quillmoor-test-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = pattern;
        // Readable by the unprivileged user that some tests switch to.
        fs::permissions(path_, fs::perms::owner_all | fs::perms::group_read |
                                   fs::perms::group_exec | fs::perms::others_read |
                                   fs::perms::others_exec);
#endif
    }
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    ~TempDir() {
        std::error_code ec;
        // Undo read-only folders (and on Windows read-only files, which refuse
        // deletion) so that everything can be removed.
        for (auto it = fs::recursive_directory_iterator(path_, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
#ifdef _WIN32
            fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ec);
#else
            if (it->is_directory(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
#endif
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

    // Everything in the folder, by name, for "no temporary file left" checks.
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(path_))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

  private:
    fs::path path_;
};

inline std::vector<std::uint8_t> RandomBytes(std::size_t size, std::uint32_t seed) {
    std::mt19937 gen(seed);
    std::vector<std::uint8_t> bytes(size);
    for (auto& b : bytes)
        b = static_cast<std::uint8_t>(gen());
    return bytes;
}

inline void WriteFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write test file " + path.string());
}

// Everything written to a temporary stream, from its start.
inline std::string ReadAllOf(std::FILE* file) {
    std::string text;
    std::rewind(file);
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, file)) > 0;)
        text.append(buffer, got);
    return text;
}

inline std::vector<std::uint8_t> ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read test file " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// What another process got when it tried to open a file.
enum class OtherProcess { Opened, Refused };

#ifdef _WIN32

// The folder of the running test program, where the programs it runs are built.
inline fs::path ProgramFolder() {
    std::wstring self(32768, L'\0');
    self.resize(::GetModuleFileNameW(nullptr, self.data(), static_cast<DWORD>(self.size())));
    return fs::path(self).parent_path();
}

// Windows has no fork(): the other process is quillmoor_file_probe, built
// beside the test programs. Throws when it cannot run or answers nonsense,
// so a probe that never ran cannot pass for a refusal.
inline OtherProcess OpenInAnotherProcess(const std::wstring& operation, const fs::path& path) {
    const fs::path probe = ProgramFolder() / L"quillmoor_file_probe.exe";
    std::wstring command =
        L"\"" + probe.native() + L"\" " + operation + L" \"" + path.native() + L"\"";
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(probe.c_str(), command.data(), nullptr, nullptr, FALSE, 0, nullptr,
                          nullptr, &startup, &process))
        throw std::runtime_error("cannot start " + probe.string());
    ::WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 99;
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    if (code > 1)
        throw std::runtime_error("file probe failed with exit code " + std::to_string(code));
    return code == 0 ? OtherProcess::Opened : OtherProcess::Refused;
}

#else

// Runs `body` in a child process, as an unprivileged user when the tests run
// as root (permissions mean nothing to root). Returns the child's exit code,
// or 128 + signal.
inline int RunInChild(const std::function<int()>& body, bool unprivileged = false) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (unprivileged && ::geteuid() == 0) {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        }
        int code = 98;
        try {
            code = body();
        } catch (...) {
            code = 97;
        }
        ::_exit(code);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// Names that are not regular files, for the refusal cases.
inline void MakeFifo(const fs::path& path) {
    if (::mkfifo(path.c_str(), 0666) != 0)
        throw std::runtime_error("mkfifo failed for " + path.string());
}

inline void MakeSocket(const fs::path& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string name = path.string();
    if (name.size() >= sizeof address.sun_path)
        throw std::runtime_error("socket path too long: " + name);
    std::copy(name.begin(), name.end(), address.sun_path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound =
        fd >= 0 && ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    if (fd >= 0)
        ::close(fd);
    if (!bound)
        throw std::runtime_error("cannot make a socket at " + name);
}

// Tries "read", "create" or "update" (the three opens of the file layer) on
// `path` from a child process.
inline OtherProcess OpenInAnotherProcess(const std::wstring& operation, const fs::path& path) {
    const int code = RunInChild([&] {
        int error = 0;
        FileHandle handle = kInvalidHandle;
        if (operation == L"read")
            handle = OpenExistingForReading(path, error);
        else if (operation == L"create")
            handle = CreateForWriting(path, error);
        else if (operation == L"update")
            handle = OpenExistingForUpdate(path, error);
        else
            return 2;
        return handle == kInvalidHandle ? 1 : 0;
    });
    if (code > 1)
        throw std::runtime_error("child failed with exit code " + std::to_string(code));
    return code == 0 ? OtherProcess::Opened : OtherProcess::Refused;
}

#endif

} // namespace quillmoor::test
