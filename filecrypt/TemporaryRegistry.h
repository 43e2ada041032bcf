#pragma once

#include <cstddef>
#include <filesystem>

// The names of the temporary files being written, kept where a handler of
// a fatal signal may reach them: such a handler may not allocate, lock or
// throw, so each name is copied into fixed storage beforehand, and removing
// them all takes nothing but unlink(). An unnamed temporary file needs none
// of this: it goes with the process.
namespace quillmoor {

// Up to this many names at once; beyond it a name is not kept (and a fatal
// signal then leaves that temporary file for the next run to remove).
inline constexpr std::size_t kRegistrySlots = 64;

// Keeps `name`; the slot to forget it by, or -1 when none was free or the
// name is too long to keep.
int RegisterTemporary(const std::filesystem::path& name) noexcept;
void ForgetTemporary(int slot) noexcept;

// Removes every kept name. Async-signal-safe.
void RemoveRegisteredTemporaries() noexcept;

} // namespace quillmoor
