// quillmoor-cli: see CliMain.h.
#include <csignal>
#include <exception>
#include <iostream>
#include <new>
#include <string>
#include <vector>

#include <unistd.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include "app/commands/Messages.h"
#include "app/commands/ProcessSafety.h"
#include "cli/CliMain.h"
#include "cli/Progress.h"
#include "cli/Terminal.h"
#include "cli/Wildcards.h"

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal) { g_signal = signal; }

#ifndef _WIN32
// Only wakes a prompt's wait after a stop (Ctrl-Z, fg), so it turns echo
// off again before the next key is typed.
void OnContinue(int) {}

// Every signal whose default action ends the process, but for SIGKILL and
// SIGSTOP, which cannot be caught, and the hardware faults (SIGSEGV, SIGBUS,
// SIGFPE, SIGILL), which mean a bug here: ProtectProcessSecrets has them
// remove the temporary files and end the process at once.
// SIGXFSZ and SIGPIPE are ignored instead: a file past the size limit and a
// closed pipe are then write failures reported like any other.
std::vector<int> StoppingSignals() {
    std::vector<int> signals{SIGINT,    SIGTERM, SIGHUP,  SIGQUIT, SIGUSR1, SIGUSR2, SIGALRM,
                             SIGVTALRM, SIGPROF, SIGXCPU, SIGIO,   SIGABRT, SIGSYS,  SIGTRAP};
#ifdef __linux__
    signals.push_back(SIGPWR);
    signals.push_back(SIGSTKFLT);
    for (int signal = SIGRTMIN; signal <= SIGRTMAX; ++signal)
        signals.push_back(signal);
#endif
    return signals;
}

// These may also be raised by the program itself (abort(), a trap, a
// refused system call); then the handler runs once and the repeat takes the
// default action.
bool OnceOnly(int signal) { return signal == SIGABRT || signal == SIGSYS || signal == SIGTRAP; }
#endif

// A failure nothing below caught, even running out of memory, is reported
// rather than ending in an abort and a core dump.
int RunReporting(const std::vector<quillmoor::cli::CommandWord>& args,
                 const quillmoor::cli::CliConsole& console) {
    try {
        return quillmoor::cli::RunCommandLine(args, std::cout, std::cerr, console);
    } catch (const std::bad_alloc&) {
        std::cerr << "quillmoor-cli: out of memory\n";
    } catch (const std::exception& e) {
        std::cerr << "quillmoor-cli: " << quillmoor::commands::DisplayName(e.what()) << '\n';
    } catch (...) {
        std::cerr << "quillmoor-cli: unexpected failure\n";
    }
    return quillmoor::cli::kExitFailed;
}

} // namespace

int main(int argc, char** argv) {
    quillmoor::commands::ProtectProcessSecrets();
    // The handlers only note the signal: a running file operation then
    // cancels cleanly (no partial target, no left-over temporary), a prompt
    // gets its terminal echo back, and the program still ends by the signal.
#ifdef _WIN32
    (void)argc;
    (void)argv;
    for (const int signal : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signal, OnSignal);
    // argv holds the ANSI code page's rendering, and the runtime would expand
    // wildcards in option values and quoted words too: the wide command line,
    // as UTF-8, keeps every name intact and every quote's meaning.
    const std::vector<quillmoor::cli::CommandWord> args = quillmoor::cli::CommandLineWords();
#else
    // No SA_RESTART, so a read from the terminal returns at once. A signal
    // ignored on the way in (nohup) stays ignored.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : StoppingSignals()) {
        struct sigaction before {};
        action.sa_flags = OnceOnly(signal) ? SA_RESETHAND : 0;
        if (sigaction(signal, nullptr, &before) == 0 && before.sa_handler != SIG_IGN)
            sigaction(signal, &action, nullptr);
    }
    for (const int signal : {SIGXFSZ, SIGPIPE})
        std::signal(signal, SIG_IGN);
    action.sa_handler = OnContinue;
    action.sa_flags = 0;
    sigaction(SIGCONT, &action, nullptr);

    // The shell has split the words and expanded the wildcards.
    std::vector<quillmoor::cli::CommandWord> args;
    for (int i = 1; i < argc; ++i)
        args.push_back({argv[i], false});
#endif
#ifdef _WIN32
    // Data through standard input and output goes byte for byte.
    ::_setmode(STDIN_FILENO, _O_BINARY);
    ::_setmode(STDOUT_FILENO, _O_BINARY);
#endif
    const quillmoor::cli::ControllingTerminal terminal;
    quillmoor::cli::CliConsole console;
    console.inFd = STDIN_FILENO;
    console.outFd = STDOUT_FILENO;
    console.ttyIn = terminal.In();
    console.ttyOut = terminal.Out();
    console.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    console.outIsTerminal = ::isatty(STDOUT_FILENO) == 1;
    console.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    console.interrupted = [] { return g_signal != 0; };
    console.columns = [] { return quillmoor::cli::TerminalColumns(STDERR_FILENO); };
    int status = 0;
    {
        // Text for a Windows console goes as UTF-16 while the program runs.
        const quillmoor::cli::ConsoleText outText(std::cout, STDOUT_FILENO);
        const quillmoor::cli::ConsoleText errText(std::cerr, STDERR_FILENO);
        status = RunReporting(args, console);
    }
    std::cout.flush();
    if (g_signal != 0) {
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }
    return status;
}
