// Fault injection against the built quillmoor-cli. Every case checks the
// same four things: the source is byte-identical afterwards (unless the test
// itself changed it), an existing target keeps its bytes unless the command
// succeeded, no temporary file is left behind (SIGKILL excepted, where the
// next run must clean it up), and the exit status and message say what
// happened.

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include "FaultKit.h"

namespace quillmoor::faults {
namespace {

constexpr std::uint64_t kMiB = 1 << 20;

using Names_ = std::vector<std::string>;

const Bytes kOldTarget = {'o', 'l', 'd', ' ', 't', 'a', 'r', 'g', 'e', 't', '\n'};

bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

std::vector<std::string> Encrypt(const fs::path& file) {
    return {"encrypt", "--key-env", "QM_KEY", file.string()};
}

std::vector<std::string> Decrypt(const fs::path& file) {
    return {"decrypt", "--key-env", "QM_KEY", file.string()};
}

// Says on the test's output which variant of a case ran.
void Note(const std::string& text) { std::cout << "[   note   ] " << text << std::endl; }

// An encrypted file of `size` pattern bytes at `where`, made by the program
// in a folder of its own.
void MakeEncrypted(const fs::path& where, std::uint64_t size, std::uint64_t seed) {
    Folder maker;
    WritePattern(maker / "plain", size, seed);
    const Outcome made = RunCli(Encrypt(maker / "plain"));
    if (!made.Exited(0))
        throw std::runtime_error("cannot make an encrypted file: " + made.err);
    fs::copy_file(maker / "plain.BF", where, fs::copy_options::overwrite_existing);
}

// True when the encrypted file decrypts to `size` pattern bytes of `seed`.
bool DecryptsToPattern(const fs::path& encrypted, std::uint64_t size, std::uint64_t seed) {
    Folder check;
    fs::copy_file(encrypted, check / "check.BF");
    return RunCli(Decrypt(check / "check.BF")).Exited(0) &&
           HoldsPattern(check / "check", size, seed);
}

// The folder holds exactly these names: no temporary file, nothing else.
void ExpectNames(const fs::path& folder, Names_ names) {
    std::sort(names.begin(), names.end());
    EXPECT_EQ(Names(folder), names) << "in " << folder;
}

// Only the expected names, and at most one temporary file of `target`.
void ExpectAtMostOurTemporary(const fs::path& folder, const Names_& expected,
                              const std::string& target) {
    Names_ rest;
    int temporaries = 0;
    for (const std::string& name : Names(folder)) {
        if (IsTemporaryOf(name, target))
            ++temporaries;
        else
            rest.push_back(name);
    }
    EXPECT_LE(temporaries, 1);
    EXPECT_EQ(rest, expected);
}

// The program run by a user whom file permissions bind. Root is not bound,
// so as root it runs as user 65534 with no other groups, from a copy in a
// folder that user can reach wherever the build lives. A normal user is
// bound already and runs the build's own program.
class BoundUser {
  public:
    BoundUser() : program_(CliPath()) {
        if (::geteuid() != 0)
            return;
        program_ = copy_ / "quillmoor-cli";
        fs::copy_file(CliPath(), program_);
        fs::permissions(program_, fs::perms(0755));
        const Outcome o = Run({"--version"});
        if (!o.Exited(0))
            why_ = "quillmoor-cli does not run as user 65534 here (exit " +
                   std::to_string(o.exitCode) + ", signal " + std::to_string(o.signal) +
                   "), and as root file permissions would not bind";
    }
    // Why the permission cases cannot run here, or nothing when they can.
    [[nodiscard]] const std::optional<std::string>& whyNot() const { return why_; }

    Outcome Run(std::vector<std::string> args) const {
        return Start(Launch(std::move(args)))->Wait();
    }

    // Started, not waited for.
    std::unique_ptr<Program> Start(Launch launch) const {
        launch.asNobody = true;
        return std::make_unique<Program>(launch, program_.string());
    }

  private:
    Folder copy_;
    fs::path program_;
    std::optional<std::string> why_;
};

// --- Disk full -----------------------------------------------------------

// A small tmpfs mounted for the test, unmounted at the end.
class SmallTmpfs {
  public:
    SmallTmpfs(const fs::path& where, const std::string& size) : where_(where) {
        fs::create_directory(where_);
        const std::string options = "size=" + size + ",mode=0755";
        if (::mount("tmpfs", where_.c_str(), "tmpfs", MS_NOSUID | MS_NODEV, options.c_str()) == 0)
            mounted_ = true;
        else
            why_ = std::strerror(errno);
    }
    SmallTmpfs(const SmallTmpfs&) = delete;
    SmallTmpfs& operator=(const SmallTmpfs&) = delete;
    ~SmallTmpfs() {
        if (mounted_)
            ::umount2(where_.c_str(), MNT_DETACH);
    }
    [[nodiscard]] bool mounted() const { return mounted_; }
    [[nodiscard]] const std::string& why() const { return why_; }

  private:
    fs::path where_;
    bool mounted_ = false;
    std::string why_;
};

// The plain file and the old target sit on the full file system; the old
// target must survive a write that runs out of space half-way.
void ExpectFullDiskRefused(const fs::path& folder, const Launch& launch, const char* reason) {
    // Encrypt 2.5 MiB where about 1.5 MiB are free, or past a 1 MiB file size
    // limit: the first chunk is written, a later one fails.
    WritePattern(folder / "src", 5 * kMiB / 2, 1);
    WriteBytes(folder / "src.BF", kOldTarget);
    Launch encrypt = launch;
    encrypt.args = Encrypt(folder / "src");
    Outcome o = RunCli(encrypt);
    EXPECT_TRUE(o.Exited(1)) << o;
    EXPECT_TRUE(Has(o.err, "cannot write") && Has(o.err, "src.BF") && Has(o.err, reason)) << o;
    EXPECT_TRUE(HoldsPattern(folder / "src", 5 * kMiB / 2, 1));
    EXPECT_EQ(ReadBytes(folder / "src.BF"), kOldTarget);
    ExpectNames(folder, {"src", "src.BF"});
    fs::remove(folder / "src");
    fs::remove(folder / "src.BF");

    // Decrypt the same amount onto an old target.
    MakeEncrypted(folder / "data.BF", 5 * kMiB / 2, 2);
    const Bytes encrypted = ReadBytes(folder / "data.BF");
    WriteBytes(folder / "data", kOldTarget);
    Launch decrypt = launch;
    decrypt.args = Decrypt(folder / "data.BF");
    o = RunCli(decrypt);
    EXPECT_TRUE(o.Exited(1)) << o;
    EXPECT_TRUE(Has(o.err, "cannot write") && Has(o.err, "data") && Has(o.err, reason)) << o;
    EXPECT_EQ(ReadBytes(folder / "data.BF"), encrypted);
    EXPECT_EQ(ReadBytes(folder / "data"), kOldTarget);
    ExpectNames(folder, {"data", "data.BF"});
}

TEST(DiskFull, SmallTmpfs) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "not root, so no tmpfs can be mounted; DiskFull.FileSizeLimit stands in";
    Folder base;
    SmallTmpfs small(base / "small", "4m");
    if (!small.mounted())
        GTEST_SKIP() << "mounting a tmpfs failed (" << small.why()
                     << "); DiskFull.FileSizeLimit stands in";
    Note("disk full: a 4 MiB tmpfs mounted for the test");
    ExpectFullDiskRefused(base / "small", Launch{}, "No space left on device");
}

TEST(DiskFull, FileSizeLimit) {
    Note("disk full: RLIMIT_FSIZE of 1 MiB with SIGXFSZ ignored");
    Folder folder;
    Launch limited;
    limited.fileSizeLimit = kMiB;
    ExpectFullDiskRefused(folder.path(), limited, "File too large");
}

// --- Permissions ---------------------------------------------------------

TEST(Permissions, ReadOnlyTargetFolder) {
    const BoundUser user;
    if (user.whyNot())
        GTEST_SKIP() << *user.whyNot();
    Folder base;
    const fs::path dir = base / "read-only";
    fs::create_directory(dir);
    WritePattern(dir / "src", 100000, 3);
    WriteBytes(dir / "src.BF", kOldTarget);
    WritePattern(dir / "lone", 1000, 4); // a file without a target yet
    MakeEncrypted(dir / "data.BF", 5000, 5);
    WriteBytes(dir / "data", kOldTarget);
    const Bytes encrypted = ReadBytes(dir / "data.BF");
    // Everything but the folder would let the program through.
    for (const char* name : {"src", "lone", "data.BF"})
        fs::permissions(dir / name, fs::perms(0644));
    for (const char* name : {"src.BF", "data"})
        fs::permissions(dir / name, fs::perms(0666));
    fs::permissions(dir, fs::perms(0555));

    for (const auto& [args, target] :
         {std::pair{Encrypt(dir / "src"), "src.BF"}, std::pair{Encrypt(dir / "lone"), "lone.BF"},
          std::pair{Decrypt(dir / "data.BF"), "data"}}) {
        const Outcome o = user.Run(args);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cannot create") && Has(o.err, target) &&
                    Has(o.err, "Permission denied"))
            << o;
    }
    EXPECT_TRUE(HoldsPattern(dir / "src", 100000, 3));
    EXPECT_TRUE(HoldsPattern(dir / "lone", 1000, 4));
    EXPECT_EQ(ReadBytes(dir / "data.BF"), encrypted);
    EXPECT_EQ(ReadBytes(dir / "src.BF"), kOldTarget);
    EXPECT_EQ(ReadBytes(dir / "data"), kOldTarget);
    ExpectNames(dir, {"data", "data.BF", "lone", "src", "src.BF"});
}

TEST(Permissions, UnreadableSource) {
    const BoundUser user;
    if (user.whyNot())
        GTEST_SKIP() << *user.whyNot();
    Folder base;
    const fs::path dir = base / "open";
    fs::create_directory(dir);
    WritePattern(dir / "src", 100000, 6);
    WriteBytes(dir / "src.BF", kOldTarget);
    WritePattern(dir / "lone", 1000, 7);
    MakeEncrypted(dir / "data.BF", 5000, 8);
    const Bytes encrypted = ReadBytes(dir / "data.BF");
    // Only the sources' permissions stand in the way: anyone may write the
    // folder and the old target.
    fs::permissions(dir, fs::perms(0777));
    fs::permissions(dir / "src.BF", fs::perms(0666));
    for (const char* name : {"src", "lone", "data.BF"})
        fs::permissions(dir / name, fs::perms::none);

    for (const auto& [args, source] :
         {std::pair{Encrypt(dir / "src"), "src"}, std::pair{Encrypt(dir / "lone"), "lone"},
          std::pair{Decrypt(dir / "data.BF"), "data.BF"}}) {
        const Outcome o = user.Run(args);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cannot open") && Has(o.err, source) &&
                    Has(o.err, "Permission denied"))
            << o;
    }
    EXPECT_TRUE(HoldsPattern(dir / "src", 100000, 6));
    EXPECT_TRUE(HoldsPattern(dir / "lone", 1000, 7));
    EXPECT_EQ(ReadBytes(dir / "data.BF"), encrypted);
    EXPECT_EQ(ReadBytes(dir / "src.BF"), kOldTarget);
    ExpectNames(dir, {"data.BF", "lone", "src", "src.BF"});
}

// --- The source or the folder changed while the program runs ----------------

// Big enough that the program is still reading when the test steps in; the
// program is paused (SIGSTOP) for the change, so the timing does not matter
// beyond that.
std::uint64_t BusySize() { return Quick() ? 16 * kMiB : 64 * kMiB; }

// Starts `args`, pauses the program once its temporary file for `target`
// exists, runs `change`, and lets it go on. False when the program had
// already ended, so the change came after it.
bool ChangeMidRun(Program& program, const fs::path& folder, const std::string& target,
                  const std::function<void()>& change) {
    const bool started =
        WaitFor(program, [&] { return FindTemporary(program.pid(), folder, target).has_value(); });
    if (!started || !program.Pause())
        return false;
    change();
    program.Resume();
    return true;
}

TEST(SourceChanged, TruncatedWhileEncrypting) {
    const std::uint64_t size = BusySize();
    Folder f;
    WritePattern(f / "src", size, 10);
    WriteBytes(f / "src.BF", kOldTarget);
    Program program(Encrypt(f / "src"));
    const bool changed =
        ChangeMidRun(program, f.path(), "src.BF", [&] { fs::resize_file(f / "src", size / 2); });
    const Outcome o = program.Wait();
    if (o.Exited(0)) {
        Note("truncated source: the program had read everything before the change");
        EXPECT_TRUE(Has(o.out, "encrypted")) << o;
        EXPECT_TRUE(DecryptsToPattern(f / "src.BF", size, 10));
    } else {
        Note("truncated source: the program noticed and failed");
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cannot read") && Has(o.err, "src") && Has(o.err, "became shorter"))
            << o;
        EXPECT_EQ(ReadBytes(f / "src.BF"), kOldTarget);
    }
    EXPECT_TRUE(HoldsPattern(f / "src", changed ? size / 2 : size, 10));
    ExpectNames(f.path(), {"src", "src.BF"});
}

TEST(SourceChanged, TruncatedWhileDecrypting) {
    const std::uint64_t size = BusySize();
    Folder f;
    MakeEncrypted(f / "data.BF", size, 11);
    WriteBytes(f / "data", kOldTarget);
    const std::uint64_t encryptedSize = fs::file_size(f / "data.BF");
    Program program(Decrypt(f / "data.BF"));
    const bool changed = ChangeMidRun(program, f.path(), "data",
                                      [&] { fs::resize_file(f / "data.BF", encryptedSize / 2); });
    const Outcome o = program.Wait();
    if (o.Exited(0)) {
        Note("truncated encrypted file: the program had read everything before the change");
        EXPECT_TRUE(Has(o.out, "decrypted")) << o;
        EXPECT_TRUE(HoldsPattern(f / "data", size, 11));
    } else {
        Note("truncated encrypted file: the program noticed and failed");
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "data.BF") && Has(o.err, "became shorter")) << o;
        EXPECT_EQ(ReadBytes(f / "data"), kOldTarget);
    }
    EXPECT_EQ(fs::file_size(f / "data.BF"), changed ? encryptedSize / 2 : encryptedSize);
    ExpectNames(f.path(), {"data", "data.BF"});
}

TEST(SourceChanged, DeletedWhileEncrypting) {
    const std::uint64_t size = BusySize();
    Folder f;
    WritePattern(f / "src", size, 12);
    WriteBytes(f / "src.BF", kOldTarget);
    Program program(Encrypt(f / "src"));
    const bool changed = ChangeMidRun(program, f.path(), "src.BF", [&] { fs::remove(f / "src"); });
    const Outcome o = program.Wait();
    // The open file outlives its name: the program may finish, and must then
    // have encrypted all of it.
    if (o.Exited(0)) {
        Note("deleted source: the open file was read to its end");
        EXPECT_TRUE(Has(o.out, "encrypted")) << o;
        EXPECT_TRUE(DecryptsToPattern(f / "src.BF", size, 12));
    } else {
        Note("deleted source: the program failed");
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "src")) << o;
        EXPECT_EQ(ReadBytes(f / "src.BF"), kOldTarget);
    }
    if (changed)
        ExpectNames(f.path(), {"src.BF"});
    else
        ExpectNames(f.path(), {"src", "src.BF"});
}

TEST(FolderChanged, RemovedWhileEncrypting) {
    Folder base;
    const fs::path dir = base / "doomed";
    fs::create_directory(dir);
    WritePattern(dir / "src", BusySize(), 13);
    Program program(Encrypt(dir / "src"));
    const bool changed = ChangeMidRun(program, dir, "src.BF", [&] { fs::remove_all(dir); });
    const Outcome o = program.Wait();
    ASSERT_TRUE(changed) << "the program ended before its temporary file was seen: " << o;
    EXPECT_TRUE(o.Exited(1)) << o;
    EXPECT_TRUE(Has(o.err, "src.BF") && Has(o.err, "No such file or directory")) << o;
    EXPECT_FALSE(Has(o.out, "encrypted")) << o;
    // Nothing was made again: no folder, no stray file beside it.
    ExpectNames(base.path(), {});
}

TEST(FolderChanged, MovedAwayWhileEncrypting) {
    // The program names its files by path, so it cannot follow the folder:
    // the replace fails, and the temporary file, now under the new name,
    // can no longer be removed by its old path. Like a kill, that leftover
    // must be recognisably ours, and the next run there must clear it.
    Folder base;
    const fs::path dir = base / "before";
    const fs::path moved = base / "after";
    fs::create_directory(dir);
    WritePattern(dir / "src", BusySize(), 18);
    WriteBytes(dir / "src.BF", kOldTarget);
    Program program(Encrypt(dir / "src"));
    const bool changed = ChangeMidRun(program, dir, "src.BF", [&] { fs::rename(dir, moved); });
    const Outcome o = program.Wait();
    ASSERT_TRUE(changed) << "the program ended before its temporary file was seen: " << o;
    EXPECT_TRUE(o.Exited(1)) << o;
    // The pause can also fall between making the temporary file and checking
    // its name, which then fails the same way one step earlier.
    EXPECT_TRUE((Has(o.err, "cannot replace") || Has(o.err, "cannot create")) &&
                Has(o.err, "src.BF") && Has(o.err, "No such file or directory"))
        << o;
    EXPECT_TRUE(HoldsPattern(moved / "src", BusySize(), 18));
    EXPECT_EQ(ReadBytes(moved / "src.BF"), kOldTarget);
    ExpectAtMostOurTemporary(moved, {"src", "src.BF"}, "src.BF");
    ExpectNames(base.path(), {"after"});

    const Outcome again = RunCli(Encrypt(moved / "src"));
    EXPECT_TRUE(again.Exited(0)) << again;
    ExpectNames(moved, {"src", "src.BF"});
    EXPECT_TRUE(DecryptsToPattern(moved / "src.BF", BusySize(), 18));
}

// --- A second process holds the target ---------------------------------------

TEST(TargetLocked, RefusedAndLeftIntact) {
    Folder f;
    WritePattern(f / "src", 100000, 14);
    WriteBytes(f / "src.BF", kOldTarget);
    MakeEncrypted(f / "data.BF", 5000, 15);
    WriteBytes(f / "data", kOldTarget);
    const Bytes encrypted = ReadBytes(f / "data.BF");

    for (const auto& [args, target] :
         {std::pair{Encrypt(f / "src"), "src.BF"}, std::pair{Decrypt(f / "data.BF"), "data"}}) {
        LockHolder holder(f / target);
        const Outcome o = RunCli(args);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cannot create") && Has(o.err, target) &&
                    Has(o.err, "in use by another program"))
            << o;
        EXPECT_EQ(ReadBytes(f / target), kOldTarget) << target;
    }
    EXPECT_TRUE(HoldsPattern(f / "src", 100000, 14));
    EXPECT_EQ(ReadBytes(f / "data.BF"), encrypted);
    ExpectNames(f.path(), {"data", "data.BF", "src", "src.BF"});

    // Once the lock is gone the same commands go through.
    EXPECT_TRUE(RunCli(Encrypt(f / "src")).Exited(0));
    EXPECT_TRUE(DecryptsToPattern(f / "src.BF", 100000, 14));
    EXPECT_TRUE(RunCli(Decrypt(f / "data.BF")).Exited(0));
    EXPECT_TRUE(HoldsPattern(f / "data", 5000, 15));
    ExpectNames(f.path(), {"data", "data.BF", "src", "src.BF"});
}

// --- SIGKILL half-way --------------------------------------------------------

// Kills the program once its temporary file for `target` holds `bytes`.
Outcome KillWhenWritten(Program& program, const fs::path& folder, const std::string& target,
                        std::uint64_t bytes) {
    const bool reached = WaitFor(program, [&] {
        const auto temporary = FindTemporary(program.pid(), folder, target);
        std::error_code ec;
        return temporary && fs::file_size(*temporary, ec) >= bytes && !ec;
    });
    program.Signal(SIGKILL);
    Outcome o = program.Wait();
    EXPECT_TRUE(reached) << "the temporary file never reached " << bytes << " bytes: " << o;
    return o;
}

// Where the temporary file has a name (the file system takes no unnamed
// ones), a kill leaves it, and the next run over the target removes it.
TEST(Killed, HalfWayThroughLargeFile) {
    const std::uint64_t size = Quick() ? 32 * kMiB : 200 * kMiB;
    Note("SIGKILL half-way through " + std::to_string(size / kMiB) + " MiB");
    Folder f;
    WritePattern(f / "src", size, 16);
    WriteBytes(f / "src.BF", kOldTarget);

    Launch named(Encrypt(f / "src"));
    named.noUnnamedFiles = true;
    Program encrypting(named);
    const Outcome killed = KillWhenWritten(encrypting, f.path(), "src.BF", size / 2);
    EXPECT_EQ(killed.signal, SIGKILL) << killed;
    EXPECT_EQ(ReadBytes(f / "src.BF"), kOldTarget);
    EXPECT_TRUE(HoldsPattern(f / "src", size, 16));
    ExpectAtMostOurTemporary(f.path(), {"src", "src.BF"}, "src.BF");

    // The next run over the same target clears the leftover away.
    Outcome o = RunCli(Encrypt(f / "src"));
    EXPECT_TRUE(o.Exited(0)) << o;
    ExpectNames(f.path(), {"src", "src.BF"});
    const std::uint64_t encryptedSize = fs::file_size(f / "src.BF");
    EXPECT_EQ(encryptedSize, size + 8);

    // Decrypting src.BF writes src: killed half-way, src must stay whole.
    named.args = Decrypt(f / "src.BF");
    Program decrypting(named);
    const Outcome killedAgain = KillWhenWritten(decrypting, f.path(), "src", size / 2);
    EXPECT_EQ(killedAgain.signal, SIGKILL) << killedAgain;
    EXPECT_TRUE(HoldsPattern(f / "src", size, 16));
    EXPECT_EQ(fs::file_size(f / "src.BF"), encryptedSize);
    ExpectAtMostOurTemporary(f.path(), {"src", "src.BF"}, "src");

    // Run again to the end: the leftover goes, and the round trip of the
    // runs after the kills gives the original bytes.
    o = RunCli(Decrypt(f / "src.BF"));
    EXPECT_TRUE(o.Exited(0)) << o;
    ExpectNames(f.path(), {"src", "src.BF"});
    EXPECT_TRUE(HoldsPattern(f / "src", size, 16));
}

// Where it has none until it is complete, a kill leaves nothing at all.
TEST(Killed, LeavesNoTemporaryFileWithoutAName) {
    const std::uint64_t size = BusySize();
    Folder f;
    WritePattern(f / "src", size, 18);
    MakeEncrypted(f / "old.BF", size, 18);
    for (const auto& [args, target] :
         {std::pair{Encrypt(f / "src"), "src.BF"}, std::pair{Decrypt(f / "old.BF"), "old"}}) {
        SCOPED_TRACE(target);
        Program program(args);
        const Outcome killed = KillWhenWritten(program, f.path(), target, size / 4);
        EXPECT_EQ(killed.signal, SIGKILL) << killed;
        ExpectNames(f.path(), {"old.BF", "src"});
    }
}

// --- Wrong key and damaged files ---------------------------------------------

TEST(WrongKey, StrictDecryptionRefusesAndWritesNothing) {
    Folder f;
    MakeEncrypted(f / "secret.BF", 1000, 17);
    const Bytes encrypted = ReadBytes(f / "secret.BF");
    struct Wrong {
        const char* option;
        const char* value;
    };
    // A different key; a key with the same first 8 bytes, so the same initial
    // chaining block but another key schedule; a password.
    const Wrong wrongs[] = {{"--key-env", "ffeeddccbbaa99887766554433221100"},
                            {"--key-env", "0011223344556677"},
                            {"--password-env", "not the password"}};
    for (const bool targetExists : {false, true}) {
        if (targetExists)
            WriteBytes(f / "secret", kOldTarget);
        for (const Wrong& wrong : wrongs) {
            Launch launch;
            launch.args = {"decrypt", wrong.option, "QM_WRONG", (f / "secret.BF").string()};
            launch.env = {std::string("QM_WRONG=") + wrong.value};
            const Outcome o = RunCli(launch);
            EXPECT_TRUE(o.Exited(1)) << wrong.value << ": " << o;
            EXPECT_TRUE(Has(o.err, "secret.BF") && Has(o.err, "wrong key or damaged file")) << o;
            EXPECT_EQ(ReadBytes(f / "secret.BF"), encrypted);
            if (targetExists) {
                EXPECT_EQ(ReadBytes(f / "secret"), kOldTarget);
                ExpectNames(f.path(), {"secret", "secret.BF"});
            } else {
                ExpectNames(f.path(), {"secret.BF"});
            }
        }
    }
    // The right key still opens it.
    EXPECT_TRUE(RunCli(Decrypt(f / "secret.BF")).Exited(0));
    EXPECT_TRUE(HoldsPattern(f / "secret", 1000, 17));
}

// Plain text whose bytes are all letters: no 8-byte block of it ends in valid
// filler (1 to 8 bytes of value 1 to 8), so a file cut at any block boundary
// has no valid final block and strict decryption must refuse every length.
Bytes Letters(std::size_t size) {
    Bytes text(size);
    for (std::size_t i = 0; i < size; ++i)
        text[i] = static_cast<std::uint8_t>('A' + (i * 7 + i / 26) % 26);
    return text;
}

// Decrypts every given truncation of `encrypted` and expects each to fail
// without a trace; every second one over an old target.
void ExpectEveryCutRefused(const Bytes& encrypted, const std::vector<std::size_t>& lengths) {
    Folder f;
    for (const std::size_t length : lengths) {
        SCOPED_TRACE("length " + std::to_string(length));
        const Bytes cut(encrypted.begin(), encrypted.begin() + static_cast<std::ptrdiff_t>(length));
        WriteBytes(f / "cut.BF", cut);
        const bool targetExists = length % 2 == 1;
        if (targetExists)
            WriteBytes(f / "cut", kOldTarget);
        const Outcome o = RunCli(Decrypt(f / "cut.BF"));
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cut.BF") && Has(o.err, "wrong key or damaged file")) << o;
        EXPECT_EQ(ReadBytes(f / "cut.BF"), cut);
        if (targetExists) {
            EXPECT_EQ(ReadBytes(f / "cut"), kOldTarget);
            ExpectNames(f.path(), {"cut", "cut.BF"});
            fs::remove(f / "cut");
        } else {
            ExpectNames(f.path(), {"cut.BF"});
        }
    }
}

TEST(Truncated, EveryLengthOfASmallFile) {
    // Under the sanitizers each run costs a tenth of a second: a shorter file.
    const std::size_t plainSize = Quick() ? 100 : 300;
    Folder maker;
    WriteBytes(maker / "plain", Letters(plainSize));
    ASSERT_TRUE(RunCli(Encrypt(maker / "plain")).Exited(0));
    const Bytes encrypted = ReadBytes(maker / "plain.BF");
    ASSERT_EQ(encrypted.size(), plainSize / 8 * 8 + 8);
    std::vector<std::size_t> lengths;
    for (std::size_t length = 0; length < encrypted.size(); ++length)
        lengths.push_back(length);
    ExpectEveryCutRefused(encrypted, lengths);
}

TEST(Truncated, LengthsAroundChunkBoundaries) {
    // The program works in 1 MiB chunks: cut just before, at and after them.
    Folder maker;
    WriteBytes(maker / "plain", Letters(2 * kMiB + 100));
    ASSERT_TRUE(RunCli(Encrypt(maker / "plain")).Exited(0));
    const Bytes encrypted = ReadBytes(maker / "plain.BF");
    const std::size_t n = encrypted.size();
    ExpectEveryCutRefused(encrypted, {8, kMiB - 8, kMiB - 1, kMiB, kMiB + 1, kMiB + 8, 2 * kMiB,
                                      2 * kMiB + 8, n - 9, n - 8, n - 1});
}

// --- Hostile input, signals and lost output ----------------------------------

// One run of the program against a folder holding "src"; in `args`, "SRC"
// stands for its path. The folder ends with `names`: never a temporary.
struct InputOrSignalCase {
    std::string name = {};
    std::vector<std::string> args = {"encrypt", "--key-env", "QM_KEY", "SRC"};
    std::uint64_t sourceSize = 1000;
    std::string input = "/dev/null", output = {}, env = {};
    bool outputPipeClosed = false;
    bool fileSizeSignal = false; // a 1 MiB limit, SIGXFSZ left to the program
    int signalOnceWriting = 0;   // sent once the temporary file holds bytes
    bool namedTemporary = false; // O_TMPFILE refused: the temporary file has a name
    int exitCode = 0, diedBy = 0;
    std::vector<std::string> errHas = {};
    std::string errLacks = {}; // a secret the message must not repeat
    Names_ names = {"src"};
};

void PrintTo(const InputOrSignalCase& c, std::ostream* os) { *os << c.name; }

std::vector<InputOrSignalCase> InputAndSignalCases() {
    const std::uint64_t busy = Quick() ? 16 * kMiB : 64 * kMiB;
    const std::string over = "QM_LONG=" + std::string(64 * 1024 + 1, 'p');
    const std::vector<std::string> longPassword = {"encrypt", "--password-env", "QM_LONG", "SRC"};
    return {
        {.name = "key file without a line end",
         .args = {"encrypt", "--key-file", "/dev/zero", "SRC"},
         .exitCode = 2,
         .errHas = {"--key-file /dev/zero: longer than 65536 bytes"}},
        {.name = "md5 input without a line end",
         .args = {"md5"},
         .input = "/dev/zero",
         .exitCode = 2,
         .errHas = {"md5: standard input: longer than 65536 bytes"}},
        {.name = "password variable over the cap",
         .args = longPassword,
         .env = over,
         .exitCode = 2,
         .errHas = {"--password-env QM_LONG: longer than"}},
        {.name = "password variable at the cap",
         .args = longPassword,
         .env = over.substr(0, over.size() - 1),
         .names = {"src", "src.BF"}},
        {.name = "SIGXFSZ left to the program",
         .sourceSize = 5 * kMiB / 2,
         .fileSizeSignal = true,
         .exitCode = 1,
         .errHas = {"src.BF", "File too large"}},
        {.name = "SIGQUIT mid-run",
         .sourceSize = busy,
         .signalOnceWriting = SIGQUIT,
         .diedBy = SIGQUIT,
         .errHas = {"src", "interrupted"}},
        {.name = "SIGUSR1 mid-run",
         .sourceSize = busy,
         .signalOnceWriting = SIGUSR1,
         .diedBy = SIGUSR1,
         .errHas = {"src", "interrupted"}},
        {.name = "SIGSEGV from another process",
         .sourceSize = busy,
         .signalOnceWriting = SIGSEGV,
         .namedTemporary = true,
         .diedBy = SIGSEGV},
        {.name = "SIGBUS from another process",
         .sourceSize = busy,
         .signalOnceWriting = SIGBUS,
         .namedTemporary = true,
         .diedBy = SIGBUS},
        {.name = "SIGFPE from another process",
         .sourceSize = busy,
         .signalOnceWriting = SIGFPE,
         .namedTemporary = true,
         .diedBy = SIGFPE},
        {.name = "SIGILL from another process",
         .sourceSize = busy,
         .signalOnceWriting = SIGILL,
         .namedTemporary = true,
         .diedBy = SIGILL},
        {.name = "SIGSEGV with an unnamed temporary",
         .sourceSize = busy,
         .signalOnceWriting = SIGSEGV,
         .diedBy = SIGSEGV},
        {.name = "standard output full",
         .output = "/dev/full",
         .exitCode = 1,
         .errHas = {"standard output: cannot write"},
         .names = {"src", "src.BF"}},
        {.name = "standard output a pipe nobody reads",
         .outputPipeClosed = true,
         .exitCode = 1,
         .errHas = {"standard output: cannot write"},
         .names = {"src", "src.BF"}},
        {.name = "short option with a value attached",
         .args = {"encrypt", "-kMySecret", "SRC"},
         .exitCode = 2,
         .errHas = {"never taken from the command line"},
         .errLacks = "MySecret"},
        {.name = "unknown option with a value",
         .args = {"-xMySecret", "encrypt", "SRC"},
         .exitCode = 2,
         .errHas = {"unknown option '-x'"},
         .errLacks = "MySecret"},
    };
}

class InputAndSignals : public ::testing::TestWithParam<InputOrSignalCase> {};

TEST_P(InputAndSignals, RefusedOrStoppedCleanly) {
    const InputOrSignalCase& c = GetParam();
    Folder f;
    WritePattern(f / "src", c.sourceSize, 20);
    Launch launch(c.args);
    for (std::string& arg : launch.args)
        if (arg == "SRC")
            arg = (f / "src").string();
    launch.input = c.input;
    launch.output = c.output;
    launch.outputPipeClosed = c.outputPipeClosed;
    launch.noUnnamedFiles = c.namedTemporary;
    if (!c.env.empty())
        launch.env = {c.env};
    if (c.fileSizeSignal) {
        launch.fileSizeLimit = kMiB;
        launch.ignoreFileSizeSignal = false;
    }
    Program program(launch);
    if (c.signalOnceWriting != 0) {
        // Once bytes go in, the run is at work (its clean-up set up).
        ASSERT_TRUE(WaitFor(program,
                            [&] {
                                const auto temporary =
                                    FindTemporary(program.pid(), f.path(), "src.BF");
                                std::error_code ec;
                                return temporary && fs::file_size(*temporary, ec) > 0 && !ec;
                            }))
            << "the program ended before its temporary file was seen: " << program.Wait();
        program.Signal(c.signalOnceWriting);
    }
    const Outcome o = program.Wait();
    EXPECT_TRUE(c.diedBy != 0 ? o.signal == c.diedBy : o.Exited(c.exitCode)) << o;
    for (const std::string& part : c.errHas)
        EXPECT_TRUE(Has(o.err, part)) << part << ": " << o;
    EXPECT_TRUE(c.errLacks.empty() || !Has(o.err, c.errLacks)) << o;
    EXPECT_TRUE(HoldsPattern(f / "src", c.sourceSize, 20));
    ExpectNames(f.path(), c.names);
}

INSTANTIATE_TEST_SUITE_P(Cases, InputAndSignals, ::testing::ValuesIn(InputAndSignalCases()),
                         [](const ::testing::TestParamInfo<InputOrSignalCase>& info) {
                             std::string name = info.param.name;
                             for (char& c : name)
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// The soft core-size limit of a running process, from /proc.
std::optional<std::string> CoreLimit(pid_t pid) {
    std::ifstream limits("/proc/" + std::to_string(pid) + "/limits");
    for (std::string line; std::getline(limits, line);)
        if (line.starts_with("Max core file size")) {
            std::istringstream fields(line.substr(std::string("Max core file size").size()));
            std::string soft;
            fields >> soft;
            return soft;
        }
    return std::nullopt;
}

TEST(CoreDumps, OffWhileTheProgramRuns) {
    // The kernel gives the /proc files of a process that is not dumpable to
    // root; so the program runs as a user other than root (65534 when the
    // test is root), and is looked at once it is busy with a file.
    const BoundUser user;
    if (user.whyNot())
        GTEST_SKIP() << *user.whyNot();
    Folder f;
    fs::permissions(f.path(), fs::perms(0777));
    WritePattern(f / "src", BusySize(), 21);
    Launch launch(Encrypt(f / "src"));
    launch.coreDumps = true;
    const std::unique_ptr<Program> program = user.Start(launch);
    ASSERT_TRUE(WaitFor(*program, [&] {
        return FindTemporary(program->pid(), f.path(), "src.BF").has_value();
    })) << program->Wait();
    struct stat entry {};
    const std::string status = "/proc/" + std::to_string(program->pid()) + "/status";
    ASSERT_EQ(::stat(status.c_str(), &entry), 0);
    EXPECT_EQ(entry.st_uid, 0u) << "the program is dumpable";
    rlimit ours{};
    if (::getrlimit(RLIMIT_CORE, &ours) == 0 && ours.rlim_max != 0) {
        EXPECT_EQ(CoreLimit(program->pid()), "0");
    }
}

// --- Hostile names and keys ----------------------------------------------------

// "old file\n" encrypted under the MD5 digest of the empty password, as
// files were made before Encrypt refused that key (the same bytes as
// openssl enc -bf-cbc with that key and its first 8 bytes as the IV).
const Bytes kUnderEmptyPassword = {0x67, 0x8a, 0x31, 0xd6, 0xdf, 0x2a, 0xc4, 0xd5,
                                   0x3f, 0xcc, 0xe1, 0x6f, 0x8a, 0xc4, 0xac, 0x40};

// The run ended with `exitCode` and said all of `parts` on one line, with
// no byte that could move the cursor or start a terminal sequence.
void ExpectSaid(const Outcome& o, int exitCode, const std::vector<std::string>& parts) {
    const std::string said = o.err + o.out;
    EXPECT_TRUE(o.Exited(exitCode)) << o;
    for (const std::string& part : parts)
        EXPECT_TRUE(Has(said, part)) << part << " in " << o;
    EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << o;
    EXPECT_FALSE(std::any_of(said.begin(), said.end(), [](char c) {
        return (static_cast<unsigned char>(c) < 0x20 && c != '\n') || c == 0x7F;
    })) << o;
}

void DecryptCutsWithinTheName(const Folder& f) {
    // notes/a less three characters once reached into the parent folder.
    fs::create_directory(f / "notes");
    MakeEncrypted(f / "notes/a", 100, 30);
    WriteBytes(f / "note", kOldTarget);
    // The tool asks for the target of a name without .BF rather than cut it.
    ExpectSaid(RunCli(Decrypt(f / "notes/a")), 1,
               {"notes/a:", "does not end in .BF", "name the target with -o"});
    EXPECT_EQ(ReadBytes(f / "note"), kOldTarget);
    EXPECT_EQ(Names(f / "notes"), Names_{"a"});
    // Three characters of three bytes each: whole characters count.
    const std::string euros = "\xE2\x82\xAC\xE2\x82\xAC\xE2\x82\xAC";
    MakeEncrypted(f / euros, 100, 31);
    ExpectSaid(RunCli(Decrypt(f / euros)), 1, {"does not end in .BF"});
    MakeEncrypted(f / ".bf", 100, 31);
    ExpectSaid(RunCli(Decrypt(f / ".bf")), 1, {"nothing is left of the name"});
    MakeEncrypted(f / "X.BF", 100, 32);
    ExpectSaid(RunCli(Decrypt(f / "X.BF")), 0, {"decrypted", "/X\n"});
    EXPECT_TRUE(HoldsPattern(f / "X", 100, 32));
    ExpectNames(f.path(), {".bf", euros, "X", "X.BF", "note", "notes"});
}

void EmptyPasswordOpensOldFilesOnly(const Folder& f) {
    WritePattern(f / "src", 10, 33);
    Launch launch({"encrypt", "--password-env", "QM_EMPTY", (f / "src").string()});
    launch.env = {"QM_EMPTY="};
    ExpectSaid(RunCli(launch), 2, {"password is empty"});
    WriteBytes(f / "old.BF", kUnderEmptyPassword);
    launch.args = {"decrypt", "--password-env", "QM_EMPTY", (f / "old.BF").string()};
    ExpectSaid(RunCli(launch), 0, {"decrypted"});
    EXPECT_EQ(ReadBytes(f / "old"), (Bytes{'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e', '\n'}));
    ExpectNames(f.path(), {"old", "old.BF", "src"});
}

void NamesAreShownEscaped(const Folder& f) {
    WritePattern(f / "a\nb", 10, 34);
    ExpectSaid(RunCli(Encrypt(f / "a\nb")), 0, {"encrypted", "'$'\\n''b'", "'$'\\n''b.BF'"});
    ExpectSaid(RunCli(Launch({"wipe", "--yes", (f / "\x1b]0;owned\x07x").string()})), 1,
               {"cannot wipe", "$'\\033'", "]0;owned"});
    ExpectNames(f.path(), {"a\nb", "a\nb.BF"});
}

// --- Hostile names, links, special files and concurrent runs ---------------

std::vector<std::string> WipeArgs(const fs::path& file) { return {"wipe", "--yes", file.string()}; }

// A hang is a failure of its own, not a stuck suite.
Outcome RunWithin(const Launch& launch, int seconds = 60) {
    return Program(launch).WaitAtMost(seconds);
}

unsigned ModeOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        Broken("lstat " + path.string());
    return st.st_mode & 0777u;
}

bool IsFifo(const fs::path& path) { return fs::is_fifo(fs::symlink_status(path)); }

void MakeFifoAt(const fs::path& path) {
    if (::mkfifo(path.c_str(), 0666) != 0)
        Broken("mkfifo " + path.string());
}

void WipeRefusesALink(const Folder& f) {
    Folder elsewhere;
    WritePattern(elsewhere / "victim", 1000, 20);
    fs::create_symlink(elsewhere / "victim", f / "link");
    const Outcome o = RunWithin(WipeArgs(f / "link"));
    EXPECT_TRUE(o.Exited(1)) << o;
    EXPECT_TRUE(Has(o.err, "link") && Has(o.err, "symbolic link") &&
                Has(o.err, (elsewhere / "victim").string()))
        << o;
    EXPECT_TRUE(HoldsPattern(elsewhere / "victim", 1000, 20));
    EXPECT_TRUE(fs::is_symlink(f / "link"));
    // By its own name it is wiped.
    EXPECT_TRUE(RunWithin(WipeArgs(elsewhere / "victim")).Exited(0));
    EXPECT_EQ(ReadBytes(elsewhere / "victim"), Bytes(1000, 0xFF));
}

void SpecialSourcesAreRefused(const Folder& f) {
    MakeFifoAt(f / "fifo");
    MakeFifoAt(f / "pipe.BF");
    fs::create_symlink("/dev/urandom", f / "urandom");
    fs::create_symlink("/proc/cpuinfo", f / "cpuinfo");
    fs::create_symlink("fifo", f / "to-fifo");
    const std::vector<std::vector<std::string>> runs = {
        Encrypt(f / "fifo"),    Encrypt(f / "urandom"),  Encrypt("/proc/cpuinfo"),
        Encrypt(f / "cpuinfo"), Encrypt(f / "to-fifo"),  Decrypt(f / "pipe.BF"),
        WipeArgs(f / "fifo"),   WipeArgs("/dev/urandom")};
    for (const auto& args : runs) {
        const Outcome o = RunWithin(args, 30);
        EXPECT_TRUE(o.Exited(1)) << args[0] << " " << args.back() << ": " << o;
        EXPECT_TRUE(Has(o.err, "not a regular file")) << o;
    }
    EXPECT_FALSE(fs::exists("/proc/cpuinfo.BF"));
    ExpectNames(f.path(), {"cpuinfo", "fifo", "pipe.BF", "to-fifo", "urandom"});
    EXPECT_TRUE(IsFifo(f / "fifo") && IsFifo(f / "pipe.BF"));
}

void ModesFollowTheUmask(const Folder& f) {
    for (const mode_t umask : {mode_t{022}, mode_t{077}}) {
        SCOPED_TRACE(umask);
        for (const char* name : {"src", "src.BF", "data", "data.BF"})
            fs::remove(f / name);
        WritePattern(f / "src", 5000, 21);
        fs::permissions(f / "src", fs::perms(0666));
        MakeEncrypted(f / "data.BF", 5000, 22);
        fs::permissions(f / "data.BF", fs::perms(0644));
        Launch launch;
        launch.umask = umask;
        for (const bool replace : {false, true}) {
            if (replace) {
                fs::permissions(f / "src.BF", fs::perms(0640));
                fs::permissions(f / "data", fs::perms(0604));
            }
            launch.args = Encrypt(f / "src");
            EXPECT_TRUE(RunCli(launch).Exited(0));
            launch.args = Decrypt(f / "data.BF");
            EXPECT_TRUE(RunCli(launch).Exited(0));
            EXPECT_EQ(ModeOf(f / "src.BF"), replace ? 0640 : 0666 & ~umask);
            EXPECT_EQ(ModeOf(f / "data"), replace ? 0604 : 0600 & ~umask);
        }
        EXPECT_TRUE(HoldsPattern(f / "data", 5000, 22));
        EXPECT_TRUE(DecryptsToPattern(f / "src.BF", 5000, 21));
    }
}

void PlantedFifosAtTemporaryNames(const Folder& f) {
    WritePattern(f / "src", 100000, 23);
    MakeEncrypted(f / "data.BF", 100000, 24);
    std::vector<fs::path> planted;
    for (const char* target : {"src.BF", "data"})
        for (unsigned slot = 0; slot < 4; ++slot) {
            planted.push_back(TemporaryCandidates(f / target)[slot]);
            MakeFifoAt(planted.back());
        }
    for (const bool named : {false, true})
        for (const auto& args : {Encrypt(f / "src"), Decrypt(f / "data.BF")}) {
            Launch launch(args);
            launch.noUnnamedFiles = named;
            const Outcome o = RunWithin(launch, 30);
            EXPECT_TRUE(o.Exited(0)) << o;
        }
    EXPECT_TRUE(DecryptsToPattern(f / "src.BF", 100000, 23));
    EXPECT_TRUE(HoldsPattern(f / "data", 100000, 24));
    for (const fs::path& fifo : planted)
        EXPECT_TRUE(IsFifo(fifo)) << fifo;
    EXPECT_EQ(Names(f.path()).size(), 4 + planted.size());
}

// Something other than a file at every name the temporary file may take:
// the message names it, with or without unnamed temporary files.
void PlantedFoldersAtTemporaryNames(const Folder& f) {
    WritePattern(f / "src", 1000, 42);
    const std::vector<fs::path> names = TemporaryCandidates(f / "src.BF");
    for (const fs::path& name : names)
        fs::create_directory(name);
    for (const bool named : {false, true}) {
        Launch launch(Encrypt(f / "src"));
        launch.noUnnamedFiles = named;
        const Outcome o = RunWithin(launch);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "cannot create " + (f / "src.BF").string() +
                                   ": no name is free for its temporary file; " +
                                   names[0].string() + " is in the way (it is a folder"))
            << o;
    }
    for (const fs::path& name : names)
        EXPECT_TRUE(fs::is_directory(name)) << name;
    EXPECT_FALSE(fs::exists(f / "src.BF"));
}

void ConcurrentRunsOverOneTarget(const Folder& f) {
    constexpr int kRuns = 64;
    WritePattern(f / "src", 256 * 1024, 25);
    std::vector<std::unique_ptr<Program>> programs;
    for (int i = 0; i < kRuns; ++i)
        programs.push_back(std::make_unique<Program>(Encrypt(f / "src")));
    int succeeded = 0;
    for (auto& program : programs) {
        const Outcome o = program->WaitAtMost(120);
        if (o.Exited(0))
            ++succeeded;
        else
            EXPECT_TRUE(o.Exited(1) && Has(o.err, "in use by another program")) << o;
    }
    Note(std::to_string(succeeded) + " of " + std::to_string(kRuns) + " concurrent runs wrote");
    EXPECT_GE(succeeded, 1);
    EXPECT_TRUE(DecryptsToPattern(f / "src.BF", 256 * 1024, 25));
    EXPECT_TRUE(HoldsPattern(f / "src", 256 * 1024, 25));
    ExpectNames(f.path(), {"src", "src.BF"});
}

void GrowingSource(const Folder& f) {
    const std::uint64_t size = BusySize();
    WritePattern(f / "src", size, 26);
    WriteBytes(f / "src.BF", kOldTarget);
    Program program(Encrypt(f / "src"));
    const bool changed = ChangeMidRun(program, f.path(), "src.BF", [&] {
        std::ofstream(f / "src", std::ios::binary | std::ios::app).write("more", 4);
    });
    const Outcome o = program.Wait();
    if (!changed) {
        Note("growing source: the program ended before the change");
        return;
    }
    EXPECT_TRUE(o.Exited(1)) << o;
    EXPECT_TRUE(Has(o.err, "src") && Has(o.err, "grew while it was read")) << o;
    EXPECT_EQ(ReadBytes(f / "src.BF"), kOldTarget);
    ExpectNames(f.path(), {"src", "src.BF"});
}

void SameFileThroughLinks(const Folder& f) {
    WritePattern(f / "a", 1000, 27);
    fs::create_hard_link(f / "a", f / "a.BF");
    MakeEncrypted(f / "x.BF", 1000, 28);
    const Bytes encrypted = ReadBytes(f / "x.BF");
    fs::create_symlink("x.BF", f / "x");
    for (const auto& args : {Encrypt(f / "a"), Decrypt(f / "x.BF")}) {
        const Outcome o = RunWithin(args);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "same file")) << o;
        EXPECT_FALSE(Has(o.err, "in use")) << o;
    }
    EXPECT_TRUE(HoldsPattern(f / "a", 1000, 27));
    EXPECT_EQ(ReadBytes(f / "x.BF"), encrypted);
    ExpectNames(f.path(), {"a", "a.BF", "x", "x.BF"});
}

void LongestNames(const Folder& f) {
    const std::string name(252, 'n'); // its target, NAME.BF, is 255 bytes
    WritePattern(f / name, 3000, 29);
    Outcome o = RunWithin(Encrypt(f / name));
    EXPECT_TRUE(o.Exited(0)) << o;
    fs::remove(f / name);
    o = RunWithin(Decrypt(f / (name + ".BF")));
    EXPECT_TRUE(o.Exited(0)) << o;
    EXPECT_TRUE(HoldsPattern(f / name, 3000, 29));
    ExpectNames(f.path(), {name, name + ".BF"});
}

// Clean-up looks only at the target's own names: a leftover of another
// target is not its business (nor is the rest of the folder read).
void LeftoversOfOtherTargetsAreLeft(const Folder& f) {
    WritePattern(f / "src", 1000, 30);
    const fs::path mine = TemporaryCandidates(f / "src.BF")[3];
    const fs::path theirs = TemporaryCandidates(f / "other.BF")[0];
    WriteBytes(mine, kOldTarget);
    WriteBytes(theirs, kOldTarget);
    EXPECT_TRUE(RunWithin(Encrypt(f / "src")).Exited(0));
    EXPECT_FALSE(fs::exists(mine));
    EXPECT_EQ(ReadBytes(theirs), kOldTarget);
    ExpectNames(f.path(), {theirs.filename().string(), "src", "src.BF"});
}

unsigned OwnerOf(const fs::path& path) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        Broken("lstat " + path.string());
    return st.st_uid;
}

// Another user plants the target, writable for all, in a shared folder,
// ordinary or sticky: the plain text becomes the running user's own, 0600
// less the umask, from a file or from standard input. Through a link to
// that user's file, nothing is written.
void PlantedTargetsAreNotTheirs(const Folder& f) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "planting a file as another user (65534) needs root";
    Folder elsewhere;
    WriteBytes(elsewhere / "theirs", kOldTarget);
    if (::chown((elsewhere / "theirs").c_str(), kNobody, kNobody) != 0 ||
        ::chmod((elsewhere / "theirs").c_str(), 0666) != 0)
        Broken("chown theirs");
    fs::create_symlink(elsewhere / "theirs", f / "s.txt");
    MakeEncrypted(f / "report.BF", 5000, 40);
    MakeEncrypted(f / "s.txt.BF", 5000, 40);
    for (const unsigned folderMode : {0777u, 01777u})
        for (const bool fromStandardInput : {false, true}) {
            SCOPED_TRACE(std::to_string(folderMode) + (fromStandardInput ? " from stdin" : ""));
            fs::permissions(f.path(), fs::perms(folderMode));
            WriteBytes(f / "report", kOldTarget);
            if (::chown((f / "report").c_str(), kNobody, kNobody) != 0 ||
                ::chmod((f / "report").c_str(), 0666) != 0)
                Broken("chown report");
            Launch launch(Decrypt(f / "report.BF"));
            if (fromStandardInput) {
                launch.args = {"decrypt", "--key-env", "QM_KEY",
                               "-",       "-o",        (f / "report").string()};
                launch.input = (f / "report.BF").string();
            }
            launch.umask = 022;
            const Outcome o = RunWithin(launch);
            EXPECT_TRUE(o.Exited(0)) << o;
            EXPECT_EQ(OwnerOf(f / "report"), 0u);
            EXPECT_EQ(ModeOf(f / "report"), 0600u);
            EXPECT_TRUE(HoldsPattern(f / "report", 5000, 40));

            const Outcome link = RunWithin(Decrypt(f / "s.txt.BF"));
            EXPECT_TRUE(link.Exited(1)) << link;
            EXPECT_TRUE(Has(link.err, "s.txt: it is a symbolic link to " +
                                          (elsewhere / "theirs").string() +
                                          "; decrypt to that file"))
                << link;
            EXPECT_TRUE(fs::is_symlink(f / "s.txt"));
            EXPECT_EQ(ReadBytes(elsewhere / "theirs"), kOldTarget);
            EXPECT_EQ(OwnerOf(elsewhere / "theirs"), kNobody);
            EXPECT_EQ(ModeOf(elsewhere / "theirs"), 0666u);
        }
    ExpectNames(f.path(), {"report", "report.BF", "s.txt", "s.txt.BF"});
}

// The system's names for standard output are standard output; no other
// name in /dev, /proc or /sys is written, and /dev/stdout stays a link.
void StandardOutputByItsSystemNames(const Folder& f) {
    WritePattern(f / "src", 3000, 41);
    ASSERT_TRUE(RunCli(Encrypt(f / "src")).Exited(0));
    const Bytes encrypted = ReadBytes(f / "src.BF");
    for (const char* name : {"/dev/stdout", "/dev/fd/1", "/proc/self/fd/1"}) {
        SCOPED_TRACE(name);
        std::vector<std::string> args = Encrypt(f / "src");
        args.insert(args.end(), {"-o", name});
        Launch launch(args);
        launch.output = (f / "out.BF").string();
        const Outcome o = RunWithin(launch);
        EXPECT_TRUE(o.Exited(0)) << o;
        EXPECT_EQ(ReadBytes(f / "out.BF"), encrypted);
        EXPECT_TRUE(fs::is_symlink("/dev/stdout"));
    }
    const std::string unique = "quillmoor-faults-" + std::to_string(::getpid());
    for (const fs::path& target : {fs::path("/dev") / unique, fs::path("/dev/fd") / unique}) {
        std::vector<std::string> args = Encrypt(f / "src");
        args.insert(args.end(), {"-o", target.string()});
        const Outcome o = RunWithin(args);
        EXPECT_TRUE(o.Exited(1)) << o;
        EXPECT_TRUE(Has(o.err, "in /dev, /proc or /sys")) << o;
        std::error_code ec;
        EXPECT_FALSE(fs::exists(target, ec)) << target;
        fs::remove(target, ec);
    }
    ExpectNames(f.path(), {"out.BF", "src", "src.BF"});
}

struct HostileCase {
    const char* name;
    void (*run)(const Folder&);
};

void PrintTo(const HostileCase& c, std::ostream* os) { *os << c.name; }

class Hostile : public ::testing::TestWithParam<HostileCase> {};

TEST_P(Hostile, RefusedCleanlyOrDoneRight) {
    const Folder folder;
    GetParam().run(folder);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Hostile,
    ::testing::Values(HostileCase{"DecryptCutsWithinTheName", DecryptCutsWithinTheName},
                      HostileCase{"EmptyPasswordOpensOldFilesOnly", EmptyPasswordOpensOldFilesOnly},
                      HostileCase{"NamesAreShownEscaped", NamesAreShownEscaped},
                      HostileCase{"WipeRefusesALink", WipeRefusesALink},
                      HostileCase{"SpecialSourcesAreRefused", SpecialSourcesAreRefused},
                      HostileCase{"ModesFollowTheUmask", ModesFollowTheUmask},
                      HostileCase{"PlantedFifosAtTemporaryNames", PlantedFifosAtTemporaryNames},
                      HostileCase{"PlantedFoldersAtTemporaryNames", PlantedFoldersAtTemporaryNames},
                      HostileCase{"ConcurrentRunsOverOneTarget", ConcurrentRunsOverOneTarget},
                      HostileCase{"GrowingSource", GrowingSource},
                      HostileCase{"SameFileThroughLinks", SameFileThroughLinks},
                      HostileCase{"LongestNames", LongestNames},
                      HostileCase{"LeftoversOfOtherTargetsAreLeft", LeftoversOfOtherTargetsAreLeft},
                      HostileCase{"PlantedTargetsAreNotTheirs", PlantedTargetsAreNotTheirs},
                      HostileCase{"StandardOutputByItsSystemNames",
                                  StandardOutputByItsSystemNames}),
    [](const ::testing::TestParamInfo<HostileCase>& info) { return std::string(info.param.name); });

} // namespace
} // namespace quillmoor::faults
