#pragma once

// What the fault-injection tests need around quillmoor-cli: scratch folders,
// large files of known content, the program run as a separate process (as
// another user, under a file size limit, paused, killed), and checks of what
// a folder holds afterwards.

#include "tests/TestFiles.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <grp.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillmoor::faults {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

inline const char* CliPath() { return QUILLMOOR_CLI_PATH; }

// The key every test encrypts with, passed through the environment.
inline constexpr char kKey[] = "00112233445566778899aabbccddeeff";

// The unprivileged user the permission cases run the program as.
inline constexpr uid_t kNobody = 65534;

// True for the slimmer run (the sanitizer pass): big files get smaller.
inline bool Quick() { return std::getenv("QUILLMOOR_QUICK") != nullptr; }

[[noreturn]] inline void Broken(const std::string& what) {
    throw std::runtime_error(what + ": " + std::strerror(errno));
}

// A fresh folder that everyone may enter, removed with its contents at the end.
class Folder {
  public:
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "quillmoor-faults-XXXXXX").string();
        if (!::mkdtemp(pattern.data()))
            Broken("mkdtemp");
        path_ = pattern;
        fs::permissions(path_, fs::perms(0755));
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    ~Folder() {
        std::error_code ec;
        // Folders a test made read-only must be writable again to be emptied.
        for (auto it = fs::recursive_directory_iterator(path_, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec))
            if (it->is_directory(ec))
                fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
        fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }
    fs::path operator/(const std::string& name) const { return path_ / name; }

  private:
    fs::path path_;
};

// Every entry of a folder, sorted; empty when the folder does not exist.
inline std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (auto it = fs::directory_iterator(folder, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        names.push_back(it->path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// True when `name` is one of the names the file routines give their
// temporary file for `target` (".quillmoor-", a hash of the name, a slot).
inline bool IsTemporaryOf(const std::string& name, const std::string& target) {
    for (const fs::path& candidate : TemporaryCandidates(target))
        if (candidate.filename() == name)
            return true;
    return false;
}

// The temporary file of `target` that process `pid` writes in `folder`:
// under one of its names, or else a file without a name held open by the
// process, as its descriptor under /proc (stat and reads follow it).
inline std::optional<fs::path> FindTemporary(pid_t pid, const fs::path& folder,
                                             const std::string& target) {
    for (const std::string& name : Names(folder))
        if (IsTemporaryOf(name, target))
            return folder / name;
    std::error_code ec;
    for (auto it = fs::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ec);
         !ec && it != fs::directory_iterator(); it.increment(ec)) {
        std::error_code unreadable;
        const fs::path to = fs::read_symlink(it->path(), unreadable);
        if (!unreadable && to.parent_path() == folder && to.filename().string().starts_with("#"))
            return it->path();
    }
    return std::nullopt;
}

// Makes the file systems of this process behave as ones without unnamed
// files: an open with O_TMPFILE fails with EOPNOTSUPP, as there.
inline bool RefuseUnnamedFiles() {
    constexpr std::uint32_t kUnnamedBit = O_TMPFILE & ~O_DIRECTORY;
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, kUnnamedBit, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

inline void WriteBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

inline Bytes ReadBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Content that is cheap to make and to check at any size: a stream of
// pseudo-random bytes decided by a seed.
class Pattern {
  public:
    explicit Pattern(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15u + 1) {}
    void Fill(std::uint8_t* out, std::size_t size) {
        for (std::size_t i = 0; i < size; ++i) {
            if (left_ == 0) {
                state_ ^= state_ << 13;
                state_ ^= state_ >> 7;
                state_ ^= state_ << 17;
                word_ = state_;
                left_ = 8;
            }
            out[i] = static_cast<std::uint8_t>(word_);
            word_ >>= 8;
            --left_;
        }
    }

  private:
    std::uint64_t state_, word_ = 0;
    int left_ = 0;
};

inline void WritePattern(const fs::path& path, std::uint64_t size, std::uint64_t seed) {
    Pattern pattern(seed);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::vector<std::uint8_t> chunk(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), size - done));
        pattern.Fill(chunk.data(), n);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(n));
        done += n;
    }
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
}

// True when the file holds exactly `size` bytes of the pattern of `seed`.
inline bool HoldsPattern(const fs::path& path, std::uint64_t size, std::uint64_t seed) {
    std::error_code ec;
    if (fs::file_size(path, ec) != size || ec)
        return false;
    Pattern pattern(seed);
    std::ifstream in(path, std::ios::binary);
    std::vector<std::uint8_t> expected(1 << 20), got(1 << 20);
    for (std::uint64_t done = 0; done < size;) {
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(got.size(), size - done));
        pattern.Fill(expected.data(), n);
        if (!in.read(reinterpret_cast<char*>(got.data()), static_cast<std::streamsize>(n)) ||
            !std::equal(got.begin(), got.begin() + static_cast<std::ptrdiff_t>(n),
                        expected.begin()))
            return false;
        done += n;
    }
    return true;
}

struct Outcome {
    int exitCode = -1; // when the program exited
    int signal = 0;    // when a signal ended it
    bool timedOut = false;
    std::string out, err;

    [[nodiscard]] bool Exited(int code) const { return signal == 0 && exitCode == code; }
};

inline std::ostream& operator<<(std::ostream& os, const Outcome& o) {
    return os << (o.timedOut ? "HUNG, killed; " : "") << "exit " << o.exitCode << ", signal "
              << o.signal << ", stdout [" << o.out << "], stderr [" << o.err << "]";
}

struct Launch {
    Launch() = default;
    Launch(std::vector<std::string> arguments) : args(std::move(arguments)) {}

    std::vector<std::string> args;       // after the program name
    bool asNobody = false;               // when run as root: user and group 65534, no other groups
    std::optional<rlim_t> fileSizeLimit; // RLIMIT_FSIZE in bytes
    bool ignoreFileSizeSignal = true;    // with the limit: SIGXFSZ ignored by the test
    std::vector<std::string> env;        // NAME=value, added to PATH, LC_ALL=C and QM_KEY
    std::string input = "/dev/null";     // opened as standard input
    std::string output;                  // standard output: this path; empty: read back
    bool outputPipeClosed = false;       // standard output: a pipe nobody reads
    bool coreDumps = false;              // RLIMIT_CORE raised to its hard limit
    std::optional<mode_t> umask;         // the child's umask, else the test's own
    bool noUnnamedFiles = false;         // O_TMPFILE refused, as some file systems do
};

// quillmoor-cli running as a separate process. Standard input is /dev/null,
// standard output and error go to unnamed files read back at the end.
class Program {
  public:
    explicit Program(const Launch& launch, const std::string& program = CliPath()) {
        out_ = std::tmpfile();
        err_ = std::tmpfile();
        if (!out_ || !err_)
            Broken("tmpfile");
        std::vector<std::string> argv{program};
        argv.insert(argv.end(), launch.args.begin(), launch.args.end());
        std::vector<std::string> env{"PATH=/usr/local/bin:/usr/bin:/bin", "LC_ALL=C",
                                     std::string("QM_KEY=") + kKey};
        env.insert(env.end(), launch.env.begin(), launch.env.end());
        std::vector<char*> cArgv, cEnv;
        for (auto& s : argv)
            cArgv.push_back(s.data());
        cArgv.push_back(nullptr);
        for (auto& s : env)
            cEnv.push_back(s.data());
        cEnv.push_back(nullptr);

        // The reading end is closed before the program starts, so its
        // first write finds no reader.
        int closedPipe[2] = {-1, -1};
        if (launch.outputPipeClosed) {
            if (::pipe(closedPipe) != 0)
                Broken("pipe");
            ::close(closedPipe[0]);
        }
        pid_ = ::fork();
        if (pid_ < 0)
            Broken("fork");
        if (pid_ == 0) {
            // Signals as a fresh login would have them, whatever the test runner inherited.
            sigset_t none;
            sigemptyset(&none);
            ::sigprocmask(SIG_SETMASK, &none, nullptr);
            for (int signal = 1; signal < NSIG; ++signal)
                if (signal != SIGKILL && signal != SIGSTOP)
                    ::signal(signal, SIG_DFL);
            const int in = ::open(launch.input.c_str(), O_RDONLY);
            const int out = launch.outputPipeClosed ? closedPipe[1]
                            : launch.output.empty()
                                ? ::fileno(out_)
                                : ::open(launch.output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 ||
                ::dup2(::fileno(err_), 2) < 0)
                ::_exit(126);
            if (launch.fileSizeLimit) {
                // Ignored, SIGXFSZ turns an over-long write into EFBIG, as a full disk would.
                if (launch.ignoreFileSizeSignal)
                    ::signal(SIGXFSZ, SIG_IGN);
                const rlimit limit{*launch.fileSizeLimit, *launch.fileSizeLimit};
                if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
                    ::_exit(126);
            }
            rlimit core{};
            if (launch.coreDumps && ::getrlimit(RLIMIT_CORE, &core) == 0) {
                core.rlim_cur = core.rlim_max;
                ::setrlimit(RLIMIT_CORE, &core);
            }
            if (launch.umask)
                ::umask(*launch.umask);
            if (launch.asNobody && ::geteuid() == 0 &&
                (::setgroups(0, nullptr) != 0 || ::setgid(kNobody) != 0 || ::setuid(kNobody) != 0))
                ::_exit(126);
            if (launch.noUnnamedFiles && !RefuseUnnamedFiles())
                ::_exit(126);
            ::execve(cArgv[0], cArgv.data(), cEnv.data());
            ::_exit(127);
        }
        if (launch.outputPipeClosed)
            ::close(closedPipe[1]);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;
    ~Program() {
        if (pid_ > 0 && !reaped_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        std::fclose(out_);
        std::fclose(err_);
    }

    [[nodiscard]] pid_t pid() const { return pid_; }

    // True while the program has not ended (a stopped program has not).
    bool Running() {
        if (reaped_)
            return false;
        int status = 0;
        const pid_t got = ::waitpid(pid_, &status, WNOHANG);
        if (got == pid_) {
            reaped_ = true;
            status_ = status;
            return false;
        }
        return true;
    }

    void Signal(int signal) {
        if (!reaped_)
            ::kill(pid_, signal);
    }

    // Stops the program and waits until it is stopped; false when it had ended.
    bool Pause() {
        if (!Running())
            return false;
        ::kill(pid_, SIGSTOP);
        int status = 0;
        const pid_t got = ::waitpid(pid_, &status, WUNTRACED);
        if (got == pid_ && WIFSTOPPED(status))
            return true;
        reaped_ = true;
        status_ = status;
        return false;
    }

    void Resume() { Signal(SIGCONT); }

    // Waits at most `seconds`; a program still running then is killed, and
    // the outcome says so (timedOut), so a hang fails the case, not the suite.
    Outcome WaitAtMost(int seconds) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
        while (Running() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        const bool hung = Running();
        if (hung)
            Signal(SIGKILL);
        Outcome outcome = Wait();
        outcome.timedOut = hung;
        return outcome;
    }

    Outcome Wait() {
        if (!reaped_) {
            int status = 0;
            while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
            }
            reaped_ = true;
            status_ = status;
        }
        Outcome outcome;
        if (WIFEXITED(status_))
            outcome.exitCode = WEXITSTATUS(status_);
        else if (WIFSIGNALED(status_))
            outcome.signal = WTERMSIG(status_);
        outcome.out = test::ReadAllOf(out_);
        outcome.err = test::ReadAllOf(err_);
        return outcome;
    }

  private:
    std::FILE* out_ = nullptr;
    std::FILE* err_ = nullptr;
    pid_t pid_ = -1;
    bool reaped_ = false;
    int status_ = 0;
};

inline Outcome RunCli(const Launch& launch) { return Program(launch).Wait(); }

// Waits until `condition` holds or the program ends; true when it holds.
// The limit only keeps a broken program from hanging the suite.
inline bool WaitFor(Program& program, const std::function<bool()>& condition) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    while (std::chrono::steady_clock::now() < deadline) {
        if (condition())
            return true;
        if (!program.Running())
            return condition();
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    return false;
}

// A second process that holds an exclusive flock() on a file until destroyed.
class LockHolder {
  public:
    explicit LockHolder(const fs::path& path) {
        int ready[2];
        if (::pipe(ready) != 0)
            Broken("pipe");
        pid_ = ::fork();
        if (pid_ < 0)
            Broken("fork");
        if (pid_ == 0) {
            ::close(ready[0]);
            const int fd = ::open(path.c_str(), O_RDONLY);
            const char ok = fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0 ? 'y' : 'n';
            if (::write(ready[1], &ok, 1) != 1)
                ::_exit(1);
            for (;;)
                ::pause();
        }
        ::close(ready[1]);
        char answer = 'n';
        const bool told = ::read(ready[0], &answer, 1) == 1;
        ::close(ready[0]);
        if (!told || answer != 'y')
            throw std::runtime_error("the lock holder could not lock " + path.string());
    }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;
    ~LockHolder() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }

  private:
    pid_t pid_ = -1;
};

} // namespace quillmoor::faults
