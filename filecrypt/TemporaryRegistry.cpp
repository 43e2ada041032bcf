#include "filecrypt/TemporaryRegistry.h"

#include <array>
#include <atomic>
#include <cstring>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace quillmoor {

namespace {

constexpr std::size_t kLongestName = 4096;

enum SlotState : int { kFree, kBusy, kKept };

// A slot is taken (kFree to kBusy) before its name is written, and shown
// to the handler (kKept) only once the name is whole. Constant-initialised,
// so a handler never meets it half made.
struct Slot {
    std::atomic<int> state{kFree};
    std::array<char, kLongestName> name{};
};

std::array<Slot, kRegistrySlots>& Slots() noexcept {
    static std::array<Slot, kRegistrySlots> slots;
    return slots;
}

} // namespace

int RegisterTemporary(const std::filesystem::path& name) noexcept {
#ifdef _WIN32
    (void)name;
    return -1; // no fatal signals to clean up after there
#else
    const std::string& text = name.native();
    if (text.empty() || text.size() >= kLongestName)
        return -1;
    for (std::size_t i = 0; i < kRegistrySlots; ++i) {
        Slot& slot = Slots()[i];
        int expected = kFree;
        if (!slot.state.compare_exchange_strong(expected, kBusy))
            continue;
        std::memcpy(slot.name.data(), text.c_str(), text.size() + 1);
        slot.state.store(kKept);
        return static_cast<int>(i);
    }
    return -1;
#endif
}

void ForgetTemporary(int slot) noexcept {
    if (slot < 0 || static_cast<std::size_t>(slot) >= kRegistrySlots)
        return;
    Slots()[static_cast<std::size_t>(slot)].state.store(kFree);
}

void RemoveRegisteredTemporaries() noexcept {
#ifndef _WIN32
    for (Slot& slot : Slots())
        if (slot.state.load() == kKept)
            ::unlink(slot.name.data());
#endif
}

} // namespace quillmoor
