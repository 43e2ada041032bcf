// Encrypts or decrypts one file with the file routines and reports the time
// and the peak memory, for bench/run.sh to set beside openssl.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include <sys/resource.h>

#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"

int main(int argc, char** argv) {
    using namespace quillmoor;
    const bool withProgress = argc == 6 && std::strcmp(argv[5], "--progress") == 0;
    if ((argc != 5 && !withProgress) ||
        (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
        std::fprintf(stderr, "usage: %s encrypt|decrypt HEXKEY SOURCE TARGET [--progress]\n",
                     argv[0]);
        return 2;
    }
    // What the window does with each report: store it for a timer to show.
    std::atomic<std::uint64_t> shown{0};
    FileCryptOptions options;
    if (withProgress)
        options.progress = [&](std::uint64_t done, std::uint64_t) {
            shown.store(done, std::memory_order_relaxed);
            return true;
        };
    const std::string keyAscii = argv[2];
    const std::u16string key(keyAscii.begin(), keyAscii.end());
    if (!BlowfishSetKey(HexTextToBytes(key))) {
        std::fprintf(stderr, "key refused\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        if (argv[1][0] == 'e')
            (void)BlowfishEncryptFile(argv[3], argv[4], key, options);
        else
            (void)BlowfishDecryptFile(argv[3], argv[4], key, options);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f s, peak RSS %ld KiB\n", seconds, usage.ru_maxrss);
    return 0;
}
