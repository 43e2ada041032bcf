// quillmoor-cli: see CliMain.h.
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include <unistd.h>

#include "cli/CliMain.h"

namespace {

volatile std::sig_atomic_t g_signal = 0;

void OnSignal(int signal) { g_signal = signal; }

} // namespace

int main(int argc, char** argv) {
    // The handlers only note the signal: a running file operation then
    // cancels cleanly (no partial target, no left-over temporary), a prompt
    // gets its terminal echo back, and the program still ends by the signal.
    // No SA_RESTART, so a read from the terminal returns at once.
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);

    const std::vector<std::string> args(argv + 1, argv + argc);
    quillmoor::cli::CliConsole console;
    console.inFd = STDIN_FILENO;
    console.inIsTerminal = ::isatty(STDIN_FILENO) == 1;
    console.errIsTerminal = ::isatty(STDERR_FILENO) == 1;
    console.interrupted = [] { return g_signal != 0; };
    const int status = quillmoor::cli::RunCli(args, std::cout, std::cerr, console);
    std::cout.flush();
    if (g_signal != 0) {
        std::signal(g_signal, SIG_DFL);
        std::raise(g_signal);
    }
    return status;
}
