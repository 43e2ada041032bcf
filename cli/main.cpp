// quillmoor-cli: see CliMain.h.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>
#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <shellapi.h>
#endif

#include "cli/CliMain.h"
#include "cli/Progress.h"
#include "cli/Terminal.h"

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal) { g_signal = signal; }

#ifdef _WIN32
// argv holds the ANSI code page's rendering; the wide command line, as UTF-8,
// keeps every name intact.
std::vector<std::string> Utf8Arguments() {
    std::vector<std::string> args;
    int count = 0;
    wchar_t** wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
    for (int i = 1; wide && i < count; ++i) {
        const int size =
            ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
        std::string arg(static_cast<std::size_t>(size > 0 ? size : 1), '\0');
        ::WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, arg.data(), size, nullptr, nullptr);
        arg.pop_back(); // the terminating zero
        args.push_back(std::move(arg));
    }
    ::LocalFree(wide);
    return args;
}
#endif

} // namespace

int main(int argc, char** argv) {
    // The handlers only note the signal: a running file operation then
    // cancels cleanly (no partial target, no left-over temporary), a prompt
    // gets its terminal echo back, and the program still ends by the signal.
#ifdef _WIN32
    (void)argc;
    (void)argv;
    for (const int signal : {SIGINT, SIGTERM, SIGBREAK})
        std::signal(signal, OnSignal);
    const std::vector<std::string> args = Utf8Arguments();
#else
    // No SA_RESTART, so a read from the terminal returns at once.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    const std::vector<std::string> args(argv + 1, argv + argc);
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
    console.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    console.interrupted = [] { return g_signal != 0; };
    console.columns = [] { return quillmoor::cli::TerminalColumns(STDERR_FILENO); };
    const int status = quillmoor::cli::RunCli(args, std::cout, std::cerr, console);
    std::cout.flush();
    if (g_signal != 0) {
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }
    return status;
}
