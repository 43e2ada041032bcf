#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "cipher/basBlfArrays.h"
#include "common/SecureMemory.h"
#include "common/SecureWipe.h"

using namespace quillmoor;

namespace {

bool AllZero(const char* data, std::size_t size) {
    return std::all_of(data, data + size, [](char c) { return c == 0; });
}

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

// The whole buffer goes, also what lies past the current size.
TEST(SecureMemory, WipeStringClearsTheSpareCapacity) {
    const std::string rows[] = {"short", std::string(100, 'k'), std::string(5000, 'p')};
    for (const std::string& row : rows) {
        std::string secret = row;
        secret.resize(secret.size() / 2); // the dropped half still sits in the buffer
        const char* buffer = secret.data();
        const std::size_t capacity = secret.capacity();
        WipeString(secret);
        EXPECT_TRUE(secret.empty());
        ASSERT_EQ(secret.data(), buffer) << "the buffer moved, so the old one was not wiped";
        EXPECT_TRUE(AllZero(buffer, capacity)) << row.size();
    }
}

TEST(SecureMemory, WipeOnExitWipesOnEveryWayOut) {
    std::array<std::uint8_t, 8> block;
    std::vector<std::uint8_t> bytes;
    for (const bool throws : {false, true}) {
        block.fill(0xAB);
        bytes.assign(300, 0xCD);
        try {
            const WipeOnExit wipe(block, bytes);
            if (throws)
                throw std::runtime_error("way out");
        } catch (const std::runtime_error&) {
        }
        EXPECT_EQ(block, (std::array<std::uint8_t, 8>{}));
        EXPECT_EQ(bytes, std::vector<std::uint8_t>(300, 0));
    }
}

#ifdef __linux__
// The expanded key and secret pages never reach a core dump.
TEST(SecureMemory, SecretsAreKeptOutOfDumps) {
    std::vector<std::uint8_t, SecureAllocator<std::uint8_t>> key(5000, 0x5A);
    const BlowfishState& state = blowfishState();
    for (const void* secret :
         {static_cast<const void*>(&state.P[0]), static_cast<const void*>(&state.S[3][255]),
          static_cast<const void*>(key.data())}) {
        const std::string flags = VmFlagsOf(secret);
        ASSERT_FALSE(flags.empty()) << "no mapping found in /proc/self/smaps";
        EXPECT_NE(flags.find(" dd"), std::string::npos) << flags;
    }
    EXPECT_EQ(std::count(key.begin(), key.end(), 0x5A), 5000);
}
#endif
