#pragma once

// Keeps what the process holds (keys, passwords, the expanded key schedule)
// out of core dumps, and the plain text of its temporary files out of what a
// crash leaves. Every front end calls it first thing in main().
namespace quillmoor::commands {

// On Linux: no core file (RLIMIT_CORE 0) and not dumpable, which also keeps
// other processes of the same user from attaching a debugger or reading the
// process's memory through /proc. On other POSIX systems the core limit
// only; Windows has no per-process switch, so nothing there. Best effort:
// a refusal changes nothing and is not reported. On POSIX systems a fault
// (SIGSEGV, SIGBUS, SIGFPE, SIGILL) first removes the named temporary files
// being written, then ends the process by the same signal.
void ProtectProcessSecrets() noexcept;

} // namespace quillmoor::commands
