#include "app/commands/ProcessSafety.h"

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include "filecrypt/TemporaryRegistry.h"

namespace quillmoor::commands {

namespace {

#ifndef _WIN32
// A fault (or the same signal sent by another process) ends the process,
// but not before the named temporary files are gone: they may hold plain
// text. SA_RESETHAND has put the default action back, so the signal raised
// again ends the process by it, as it would have without this handler.
extern "C" void OnFatalSignal(int signal) {
    RemoveRegisteredTemporaries();
    (void)::raise(signal);
}

void RemoveTemporariesOnFatalSignals() noexcept {
    struct sigaction action {};
    action.sa_handler = OnFatalSignal;
    action.sa_flags = SA_RESETHAND | SA_NODEFER;
    sigemptyset(&action.sa_mask);
    for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL})
        (void)::sigaction(signal, &action, nullptr);
}
#endif

} // namespace

void ProtectProcessSecrets() noexcept {
#ifndef _WIN32
    const rlimit none{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &none);
    RemoveTemporariesOnFatalSignals();
#endif
#ifdef __linux__
    // Also covers a core_pattern that pipes to a handler, which RLIMIT_CORE
    // does not stop.
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

} // namespace quillmoor::commands
