// CMD5::MD5 on arbitrary UTF-16 text equals the MD5 that OpenSSL's libcrypto
// computes over the low byte of every code unit, written as 32 lowercase
// hexadecimal digits. libcrypto is linked into this target only.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <openssl/evp.h>

#include "digest/CMD5.h"
#include "fuzz/FuzzText.h"

namespace {

std::string ReferenceMd5(const std::u16string& text) {
    std::vector<unsigned char> bytes;
    bytes.reserve(text.size());
    for (char16_t unit : text)
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_md5(), nullptr) != 1 ||
        length != 16)
        quillmoor::fuzz::Fail("libcrypto computes an MD5");
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        hex += kDigits[digest[i] >> 4];
        hex += kDigits[digest[i] & 15];
    }
    return hex;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    quillmoor::fuzz::TextReader reader{data, size};
    const std::u16string text = reader.Rest();
    const quillmoor::CMD5 md5;
    if (md5.MD5(text) != ReferenceMd5(text))
        quillmoor::fuzz::Fail("CMD5::MD5 equals libcrypto's MD5 of the low bytes");
    return 0;
}
