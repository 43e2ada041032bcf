// The file routines on arbitrary bytes and arbitrary key texts.
//
// Decryption, strict and lenient, must not crash or leak, must give what a
// plain block-by-block model of the format gives, and must leave no trace
// when it fails or is cancelled: no target (or the old target untouched) and
// no temporary file. Encrypting the same bytes and decrypting them again
// must restore them under any key the key setup accepts (and under the plain
// initial tables when it refuses one), and the encrypted file must match
// the model too.
//
// Input: one flag byte, one byte giving the key text's length in code
// units, the key text (see FuzzText.h), then the file's bytes.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include <unistd.h>

#include "cipher/basBlfArrays.h"
#include "cipher/basBlowfish.h"
#include "common/RuntimeError.h"
#include "convert/basConvert.h"
#include "filecrypt/basBlowfishFileFns.h"
#include "fuzz/FuzzText.h"

namespace fs = std::filesystem;
using quillmoor::fuzz::Fail;
using Bytes = std::vector<std::uint8_t>;

namespace {

enum Flag : std::uint8_t {
    kLenient = 1,
    kTargetExists = 2,
    kCancel = 4,
    kThreadShift = 3, // bits 3-4: 1 to 4 decryption workers
};

const Bytes kOldTarget = {'o', 'l', 'd', ' ', 't', 'a', 'r', 'g', 'e', 't', '\n'};

fs::path g_folder; // one per process, in memory where possible

void RemoveFolder() {
    std::error_code ec;
    fs::remove_all(g_folder, ec);
}

void WriteFile(const fs::path& path, const Bytes& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        Fail("the scratch folder can be written");
}

Bytes ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        Fail("a file that should be there can be read");
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::set<std::string> Names() {
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(g_folder))
        names.insert(entry.path().filename().string());
    return names;
}

// --- The model: the format written out block by block, in the plainest way.

using Block = std::array<std::uint8_t, 8>;

Block Iv(const std::u16string& keyText) {
    Block iv{};
    if (const auto bytes = quillmoor::HexTextToBytes(keyText))
        for (std::size_t i = 0; i < bytes->size() && i < 8; ++i)
            iv[i] = (*bytes)[i];
    return iv;
}

// Bytes 0-3 are the left word and 4-7 the right, most significant first.
Block Cipher(const quillmoor::BlowfishState& state, const Block& in, bool encipher) {
    std::uint32_t left = 0, right = 0;
    for (int i = 0; i < 4; ++i) {
        left = left << 8 | in[i];
        right = right << 8 | in[i + 4];
    }
    if (encipher)
        quillmoor::BlowfishEncipherBlock(state, left, right);
    else
        quillmoor::BlowfishDecipherBlock(state, left, right);
    Block out{};
    for (int i = 0; i < 4; ++i) {
        out[i] = static_cast<std::uint8_t>(left >> (24 - 8 * i));
        out[i + 4] = static_cast<std::uint8_t>(right >> (24 - 8 * i));
    }
    return out;
}

Bytes ModelEncrypt(const quillmoor::BlowfishState& state, const Block& iv, Bytes plain) {
    const std::size_t filler = 8 - plain.size() % 8;
    plain.insert(plain.end(), filler, static_cast<std::uint8_t>(filler));
    Bytes out;
    Block previous = iv;
    for (std::size_t at = 0; at < plain.size(); at += 8) {
        Block block;
        for (std::size_t i = 0; i < 8; ++i)
            block[i] = plain[at + i] ^ previous[i];
        previous = Cipher(state, block, true);
        out.insert(out.end(), previous.begin(), previous.end());
    }
    return out;
}

// Nothing when strict decryption must refuse.
std::optional<Bytes> ModelDecrypt(const quillmoor::BlowfishState& state, const Block& iv,
                                  Bytes data, bool lenient) {
    if (!lenient && (data.empty() || data.size() % 8 != 0))
        return std::nullopt;
    // Lenient: what follows the last whole block is ignored, and a file
    // shorter than one block is read into a zero-filled block.
    if (data.size() < 8)
        data.resize(8, 0);
    data.resize(data.size() / 8 * 8);
    Bytes out;
    Block previous = iv;
    for (std::size_t at = 0; at < data.size(); at += 8) {
        Block block;
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(at), 8, block.begin());
        const Block plain = Cipher(state, block, false);
        for (std::size_t i = 0; i < 8; ++i)
            out.push_back(plain[i] ^ previous[i]);
        previous = block;
    }
    std::size_t filler = out.back();
    if (lenient) {
        if (filler > 8)
            filler = 0;
    } else {
        if (filler < 1 || filler > 8)
            return std::nullopt;
        for (std::size_t i = out.size() - filler; i < out.size(); ++i)
            if (out[i] != filler)
                return std::nullopt;
    }
    out.resize(out.size() - filler);
    return out;
}

// --- The checks.

enum class Outcome { Done, Cancelled, Refused };

Outcome Run(bool encrypt, const fs::path& source, const fs::path& target,
            const std::u16string& keyText, const quillmoor::FileCryptOptions& options) {
    try {
        const auto result = encrypt
                                ? quillmoor::BlowfishEncryptFile(source, target, keyText, options)
                                : quillmoor::BlowfishDecryptFile(source, target, keyText, options);
        return result == quillmoor::FileCryptResult::Done ? Outcome::Done : Outcome::Cancelled;
    } catch (const quillmoor::RuntimeError& e) {
        if (e.number() != quillmoor::kErrWrongKeyOrDamaged)
            Fail("the only failure on a healthy folder is 'wrong key or damaged file'");
        return Outcome::Refused;
    }
}

void CheckDecrypt(std::uint8_t flags, const std::u16string& keyText,
                  const quillmoor::BlowfishState& state, const Bytes& content) {
    const fs::path source = g_folder / "in.BF";
    const fs::path target = g_folder / "in";
    WriteFile(source, content);
    const bool targetExisted = (flags & kTargetExists) != 0;
    if (targetExisted)
        WriteFile(target, kOldTarget);

    quillmoor::FileCryptOptions options;
    options.state = &state;
    options.mode =
        flags & kLenient ? quillmoor::DecryptMode::Lenient : quillmoor::DecryptMode::Strict;
    options.threads = 1u + (flags >> kThreadShift & 3u);
    if (flags & kCancel)
        options.progress = [](std::uint64_t, std::uint64_t) { return false; };

    const Outcome outcome = Run(false, source, target, keyText, options);
    const auto expected = ModelDecrypt(state, Iv(keyText), content, flags & kLenient);

    if (ReadFile(source) != content)
        Fail("decryption only reads the source");
    if (outcome == Outcome::Done) {
        if (!expected)
            Fail("decryption refuses what the model refuses");
        if (ReadFile(target) != *expected)
            Fail("the decrypted file equals the model's plain bytes");
    } else {
        if (outcome == Outcome::Refused && expected)
            Fail("decryption accepts what the model accepts");
        if (outcome == Outcome::Cancelled && !(flags & kCancel))
            Fail("only a cancel cancels");
        if (targetExisted ? ReadFile(target) != kOldTarget : fs::exists(target))
            Fail("a failed or cancelled decryption leaves the target as it was");
    }
    const std::set<std::string> names = outcome == Outcome::Done || targetExisted
                                            ? std::set<std::string>{"in", "in.BF"}
                                            : std::set<std::string>{"in.BF"};
    if (Names() != names)
        Fail("no temporary file or other trace is left in the folder");
    fs::remove(source);
    fs::remove(target);
}

void CheckRoundTrip(const std::u16string& keyText, const quillmoor::BlowfishState& state,
                    const Bytes& plain, unsigned threads) {
    const fs::path source = g_folder / "plain";
    const fs::path encrypted = g_folder / "plain.BF";
    const fs::path restored = g_folder / "plain.back";
    WriteFile(source, plain);
    quillmoor::FileCryptOptions options;
    options.state = &state;
    options.threads = threads;
    if (Run(true, source, encrypted, keyText, options) != Outcome::Done)
        Fail("encryption succeeds");
    if (ReadFile(encrypted) != ModelEncrypt(state, Iv(keyText), plain))
        Fail("the encrypted file equals the model's");
    if (Run(false, encrypted, restored, keyText, options) != Outcome::Done)
        Fail("strict decryption takes back what encryption made");
    if (ReadFile(restored) != plain)
        Fail("encrypt then decrypt restores the bytes");
    if (ReadFile(source) != plain)
        Fail("encryption only reads the source");
    if (Names() != std::set<std::string>{"plain", "plain.BF", "plain.back"})
        Fail("no temporary file is left in the folder");
    fs::remove(source);
    fs::remove(encrypted);
    fs::remove(restored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Memory-backed when possible: the routines sync every file they write.
    // tools/fuzz.sh names a folder that it removes itself, so that even a
    // run that ends on a finding leaves nothing behind.
    std::error_code ec;
    const char* chosen = std::getenv("QUILLMOOR_FUZZ_SCRATCH");
    const fs::path base = chosen                             ? fs::path(chosen)
                          : fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm")
                                                             : fs::temp_directory_path();
    std::string pattern = (base / "quillmoor-fuzz-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        Fail("a scratch folder can be made");
    g_folder = pattern;
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t flags = data[0];
    quillmoor::fuzz::TextReader reader{data + 2, size - 2};
    const std::u16string keyText = reader.Text(data[1]);
    const Bytes content(data + 2 + reader.at, data + size);

    // A refused key leaves the state as it was: here the plain initial tables,
    // and the routines still run with them.
    quillmoor::BlowfishState state;
    quillmoor::BlowfishLoadInitialTables(state);
    const auto keyBytes = quillmoor::HexTextToBytes(keyText);
    if (keyBytes)
        (void)quillmoor::BlowfishSetKey(state, *keyBytes);

    CheckDecrypt(flags, keyText, state, content);
    CheckRoundTrip(keyText, state, content, 1u + (flags >> kThreadShift & 3u));
    return 0;
}
