#include "app/commands/ProcessSafety.h"

#ifndef _WIN32
#include <sys/resource.h>
#endif
#ifdef __linux__
#include <sys/prctl.h>
#endif

namespace quillmoor::commands {

void ProtectProcessSecrets() noexcept {
#ifndef _WIN32
    const rlimit none{0, 0};
    (void)::setrlimit(RLIMIT_CORE, &none);
#endif
#ifdef __linux__
    // Also covers a core_pattern that pipes to a handler, which RLIMIT_CORE
    // does not stop.
    (void)::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

} // namespace quillmoor::commands
