#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/basBlfArrays.h"
#include "common/Secret.h"
#include "common/SecureMemory.h"

using namespace quillmoor;

namespace {

#ifdef __linux__
// The VmFlags line of the mapping that holds `address`, from /proc/self/smaps.
std::string VmFlagsOf(const void* address) {
    std::ifstream smaps("/proc/self/smaps");
    const auto at = reinterpret_cast<std::uintptr_t>(address);
    bool inside = false;
    for (std::string line; std::getline(smaps, line);) {
        std::uintptr_t begin = 0, end = 0;
        char dash = 0;
        std::istringstream head(line);
        if (head >> std::hex >> begin >> dash >> end && dash == '-')
            inside = begin <= at && at < end;
        else if (inside && line.rfind("VmFlags:", 0) == 0)
            return line;
    }
    return {};
}
#endif

} // namespace

// Counts the bytes that were not zero when a buffer went back, so a test can
// see what a secret leaves behind in released memory.
struct LeftBehind {
    static inline std::size_t bytes = 0;
};
template <typename T> struct CheckingAllocator {
    using value_type = T;
    CheckingAllocator() noexcept = default;
    template <typename U> CheckingAllocator(const CheckingAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return std::allocator<T>().allocate(n); }
    void deallocate(T* p, std::size_t n) noexcept {
        const auto* bytes = reinterpret_cast<const char*>(p);
        LeftBehind::bytes += static_cast<std::size_t>(
            std::count_if(bytes, bytes + n * sizeof(T), [](char c) { return c != 0; }));
        std::allocator<T>().deallocate(p, n);
    }
    template <typename U> bool operator==(const CheckingAllocator<U>&) const noexcept {
        return true;
    }
};
using CheckedText =
    Secret<std::basic_string<char, std::char_traits<char>, CheckingAllocator<char>>>;
using CheckedBytes = Secret<std::vector<std::uint8_t, CheckingAllocator<std::uint8_t>>>;

// Storage for one secret, looked at after the secret's destructor ran.
template <typename T> struct Slot {
    alignas(T) char bytes[sizeof(T)] = {};
    bool HoldsRunOf(char c) const {
        return std::search_n(bytes, bytes + sizeof bytes, 4, c) != bytes + sizeof bytes;
    }
};

// Nothing of a secret is left: not its text, not what lies past its size
// (a dropped tail, the inline buffer it grew out of), on destruction, when
// moved from, and on Wipe().
TEST(Secret, LeavesNothingBehind) {
    enum class Way { Destroyed, MovedFrom, MoveAssignedFrom, Wiped };
    struct Row {
        std::size_t size, grow; // `grow` more characters appended after the start
    };
    // Growing on the heap is the allocator's to wipe (SecureAllocator does).
    constexpr Row kRows[] = {{15, 0}, {15, 100}, {100, 0}, {5000, 0}};
    for (const Way way : {Way::Destroyed, Way::MovedFrom, Way::MoveAssignedFrom, Way::Wiped})
        for (const Row row : kRows) {
            SCOPED_TRACE(std::to_string(static_cast<int>(way)) + ": " + std::to_string(row.size) +
                         "+" + std::to_string(row.grow));
            LeftBehind::bytes = 0;
            Slot<CheckedText> slot;
            auto* secret = new (slot.bytes) CheckedText(row.size, 'k');
            secret->append(row.grow, 'k');
            secret->resize(secret->size() / 2); // the dropped half still sits in the buffer
            std::optional<CheckedText> taken;
            if (way == Way::MovedFrom)
                taken.emplace(std::move(*secret));
            else if (way == Way::MoveAssignedFrom)
                taken.emplace() = std::move(*secret);
            if (taken) {
                EXPECT_EQ(taken->size(), (row.size + row.grow) / 2);
            }
            if (way == Way::Wiped) {
                secret->Wipe();
                EXPECT_TRUE(secret->empty());
            } else {
                secret->~CheckedText();
            }
            EXPECT_EQ(LeftBehind::bytes, 0u);
            EXPECT_FALSE(slot.HoldsRunOf('k'));
            if (way == Way::Wiped)
                secret->~CheckedText();
        }
}

TEST(Secret, BytesLeaveNothingBehind) {
    for (const std::size_t size : {std::size_t{1}, std::size_t{8}, std::size_t{70000}}) {
        LeftBehind::bytes = 0;
        {
            CheckedBytes bytes(size, 0xCD);
            bytes.resize(1); // the rest still sits in the buffer
        }
        EXPECT_EQ(LeftBehind::bytes, 0u) << size;
    }
}

#ifdef __linux__
// The expanded key and secret pages never reach a core dump.
TEST(SecureMemory, SecretsAreKeptOutOfDumps) {
    SecretBytes key(5000, 0x5A);
    const SecretText16 text(40, u'k');
    const KeySchedule schedule;
    const BlowfishState& state = blowfishState();
    for (const void* secret :
         {static_cast<const void*>(&state.P[0]), static_cast<const void*>(&state.S[3][255]),
          static_cast<const void*>(key.data()), static_cast<const void*>(text.data()),
          static_cast<const void*>(&schedule->S[3][255])}) {
        const std::string flags = VmFlagsOf(secret);
        ASSERT_FALSE(flags.empty()) << "no mapping found in /proc/self/smaps";
        EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;
    }
    EXPECT_EQ(std::count(key.begin(), key.end(), 0x5A), 5000);
}
#endif
