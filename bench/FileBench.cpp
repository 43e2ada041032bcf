// Encrypts or decrypts one file with the file routines and reports the time
// and the peak memory, for bench/run.sh to set beside openssl.
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
    if (argc != 5 || (std::strcmp(argv[1], "encrypt") != 0 && std::strcmp(argv[1], "decrypt") != 0)) {
        std::fprintf(stderr, "usage: %s encrypt|decrypt HEXKEY SOURCE TARGET\n", argv[0]);
        return 2;
    }
    const std::string keyAscii = argv[2];
    const std::u16string key(keyAscii.begin(), keyAscii.end());
    if (!BlowfishSetKey(HexTextToBytes(key))) {
        std::fprintf(stderr, "key refused\n");
        return 2;
    }
    const auto start = std::chrono::steady_clock::now();
    try {
        if (argv[1][0] == 'e')
            BlowfishEncryptFile(argv[3], argv[4], key);
        else
            BlowfishDecryptFile(argv[3], argv[4], key);
    } catch (const RuntimeError& e) {
        std::fprintf(stderr, "%s\n", e.what());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("%.4f s, peak RSS %ld KiB\n", seconds, usage.ru_maxrss);
    return 0;
}
