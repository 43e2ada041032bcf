#pragma once

// Runs quillmoor-cli (or openssl) as a separate process: with files for
// standard input and output, or on a pseudo-terminal with a small
// expect/send script.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "tests/TestFiles.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

namespace quillmoor::test {

inline const char* CliPath() { return QUILLMOOR_CLI_PATH; }

struct ProcessResult {
    int exitCode = -1; // when the process exited
    int signal = 0;    // when a signal ended it
    std::string out, err;

    [[nodiscard]] bool Exited(int code) const { return signal == 0 && exitCode == code; }
};

struct ProcessCall {
    std::string program = CliPath();
    std::vector<std::string> args; // without the program name
    std::string input;             // standard input: this text, never a terminal
    std::vector<std::string> env;  // NAME=value, on top of PATH and LC_ALL=C
    std::filesystem::path cwd;
    bool unprivileged = false; // as user nobody when run as root
    bool inputAsPipe = false;  // standard input a pipe rather than a file (no size, no seeking)
    // On a terminal: these standard streams redirected to files, the
    // terminal staying the controlling one.
    std::filesystem::path inputFile, outputFile, errorFile;
};

namespace detail {

inline std::vector<char*> CStrings(std::vector<std::string>& strings) {
    std::vector<char*> out;
    for (auto& s : strings)
        out.push_back(s.data());
    out.push_back(nullptr);
    return out;
}

// In the child: everything but the standard descriptors is set up; never returns.
[[noreturn]] inline void Exec(const ProcessCall& call, bool unprivileged) {
    if (!call.cwd.empty() && ::chdir(call.cwd.c_str()) != 0)
        ::_exit(126);
    if (unprivileged && ::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
        ::_exit(126);
    const auto redirect = [](const std::filesystem::path& path, int fd, int flags) {
        if (path.empty())
            return;
        const int opened = ::open(path.c_str(), flags, 0600);
        if (opened < 0 || ::dup2(opened, fd) < 0)
            ::_exit(126);
        ::close(opened);
    };
    // The terminal stays open in the program while its standard streams go
    // elsewhere: were the last descriptor of it closed, the other end would
    // read a hang-up before the program opens /dev/tty again.
    if (!call.inputFile.empty() || !call.outputFile.empty() || !call.errorFile.empty())
        ::dup2(0, 10);
    redirect(call.inputFile, 0, O_RDONLY);
    redirect(call.outputFile, 1, O_WRONLY | O_CREAT | O_TRUNC);
    redirect(call.errorFile, 2, O_WRONLY | O_CREAT | O_TRUNC);
    std::vector<std::string> argv{call.program};
    argv.insert(argv.end(), call.args.begin(), call.args.end());
    std::vector<std::string> env{"PATH=/usr/local/bin:/usr/bin:/bin", "LC_ALL=C"};
    env.insert(env.end(), call.env.begin(), call.env.end());
    auto cArgv = CStrings(argv);
    auto cEnv = CStrings(env);
    ::execve(call.program.c_str(), cArgv.data(), cEnv.data());
    ::_exit(127);
}

inline void Decode(int status, ProcessResult& result) {
    if (WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    else if (WIFSIGNALED(status))
        result.signal = WTERMSIG(status);
}

} // namespace detail

// Standard input, output and error are plain files, so none is a terminal;
// the child has no controlling terminal either (setsid).
inline ProcessResult RunProcess(const ProcessCall& call) {
    std::FILE* in = std::tmpfile();
    std::FILE* out = std::tmpfile();
    std::FILE* err = std::tmpfile();
    if (!in || !out || !err)
        throw std::runtime_error("tmpfile failed");
    std::fwrite(call.input.data(), 1, call.input.size(), in);
    std::fflush(in);
    std::rewind(in);
    int pipeFds[2] = {-1, -1};
    if (call.inputAsPipe && ::pipe(pipeFds) != 0)
        throw std::runtime_error("pipe failed");
    const pid_t pid = ::fork();
    if (pid < 0)
        throw std::runtime_error("fork failed");
    if (pid == 0) {
        ::setsid();
        ::lseek(::fileno(in), 0, SEEK_SET);
        ::dup2(call.inputAsPipe ? pipeFds[0] : ::fileno(in), 0);
        if (call.inputAsPipe) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
        }
        ::dup2(::fileno(out), 1);
        ::dup2(::fileno(err), 2);
        detail::Exec(call, call.unprivileged);
    }
    if (call.inputAsPipe) {
        // The child's output goes to files, so it never waits for us: feed
        // the whole input, then the end of it. A child that stops reading
        // early gives EPIPE, which ends the feeding.
        ::close(pipeFds[0]);
        const auto previous = ::signal(SIGPIPE, SIG_IGN);
        for (std::size_t done = 0; done < call.input.size();) {
            const ssize_t put =
                ::write(pipeFds[1], call.input.data() + done, call.input.size() - done);
            if (put <= 0 && errno != EINTR)
                break;
            done += put > 0 ? static_cast<std::size_t>(put) : 0;
        }
        ::close(pipeFds[1]);
        ::signal(SIGPIPE, previous);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    ProcessResult result;
    detail::Decode(status, result);
    result.out = ReadAllOf(out);
    result.err = ReadAllOf(err);
    std::fclose(in);
    std::fclose(out);
    std::fclose(err);
    return result;
}

// The program on a pseudo-terminal: standard input, output and error are
// all the terminal. Expect() waits for text to appear; a generous limit only
// keeps a broken program from hanging the test run.
class TerminalSession {
  public:
    explicit TerminalSession(const ProcessCall& call) {
        pid_ = ::forkpty(&master_, nullptr, nullptr, nullptr);
        if (pid_ < 0)
            throw std::runtime_error("forkpty failed");
        if (pid_ == 0)
            detail::Exec(call, call.unprivileged);
    }
    TerminalSession(const TerminalSession&) = delete;
    TerminalSession& operator=(const TerminalSession&) = delete;
    ~TerminalSession() {
        if (pid_ > 0 && !finished_) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, nullptr, 0);
        }
        if (master_ >= 0)
            ::close(master_);
    }

    // Everything the program wrote to the terminal so far (and the echo of
    // what was sent, if echo was on).
    [[nodiscard]] const std::string& transcript() const { return transcript_; }
    [[nodiscard]] pid_t pid() const { return pid_; }

    // True once `text` has appeared after position `from` of the transcript.
    bool Expect(const std::string& text, std::size_t from = 0) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (transcript_.find(text, from) == std::string::npos) {
            if (std::chrono::steady_clock::now() > deadline || !ReadSome(1000))
                return transcript_.find(text, from) != std::string::npos;
        }
        return true;
    }

    void Send(const std::string& text) {
        if (::write(master_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("write to terminal failed");
    }

    // Whether the terminal currently echoes what is typed.
    [[nodiscard]] bool EchoIsOn() const {
        struct termios t {};
        if (::tcgetattr(master_, &t) != 0)
            throw std::runtime_error("tcgetattr failed");
        return (t.c_lflag & ECHO) != 0;
    }

    void SetEcho(bool on) {
        struct termios t {};
        if (::tcgetattr(master_, &t) != 0)
            throw std::runtime_error("tcgetattr failed");
        t.c_lflag = on ? (t.c_lflag | ECHO) : (t.c_lflag & ~static_cast<tcflag_t>(ECHO));
        ::tcsetattr(master_, TCSANOW, &t);
    }

    // True once the terminal's echo is `on`; a generous limit as for Expect().
    bool WaitForEcho(bool on) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (EchoIsOn() != on && std::chrono::steady_clock::now() < deadline)
            ReadSome(50);
        return EchoIsOn() == on;
    }

    // Reads until the program ends, then reaps it.
    ProcessResult Finish() {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        bool open = true;
        while (open && std::chrono::steady_clock::now() < deadline)
            open = ReadSome(1000);
        if (open)
            ::kill(pid_, SIGKILL); // hung: end it, and let the test fail on its status
        int status = 0;
        ::waitpid(pid_, &status, 0);
        finished_ = true;
        ProcessResult result;
        detail::Decode(status, result);
        result.out = transcript_;
        return result;
    }

  private:
    // False once the terminal is closed by the program's end.
    bool ReadSome(int timeoutMs) {
        struct pollfd p {
            master_, POLLIN, 0
        };
        const int ready = ::poll(&p, 1, timeoutMs);
        if (ready < 0)
            return errno == EINTR;
        if (ready == 0)
            return true;
        char buffer[4096];
        const ssize_t got = ::read(master_, buffer, sizeof buffer);
        if (got <= 0)
            return got < 0 && errno == EINTR;
        transcript_.append(buffer, static_cast<std::size_t>(got));
        return true;
    }

    int master_ = -1;
    pid_t pid_ = -1;
    bool finished_ = false;
    std::string transcript_;
};

} // namespace quillmoor::test
