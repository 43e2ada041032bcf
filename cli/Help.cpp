#include "cli/CliMain.h"

#include <string>
#include <vector>

namespace quillmoor::cli {

namespace {

std::vector<std::string_view> Lines(std::string_view text) {
    std::vector<std::string_view> lines;
    for (std::size_t start = 0; start < text.size();) {
        const std::size_t end = std::min(text.find('\n', start), text.size());
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

// The lines of the section headed `title` (up to the next empty line).
std::vector<std::string_view> Section(std::string_view title) {
    std::vector<std::string_view> section;
    bool in = false;
    for (const std::string_view line : Lines(HelpText())) {
        if (in && line.empty())
            break;
        if (in)
            section.push_back(line);
        in = in || line.starts_with(title);
    }
    return section;
}

// An entry of a section: its first line, then those indented deeper.
bool StartsEntry(std::string_view line, std::size_t indent) {
    return line.size() > indent && line.find_first_not_of(' ') <= indent;
}

// The entries of the "Other options" section that `verb` takes.
std::string OptionsOf(const Verb& verb) {
    std::string text;
    bool taken = false;
    for (const std::string_view line : Section("Other options")) {
        if (StartsEntry(line, 6)) {
            const std::size_t dashes = line.find("--");
            const std::size_t end = line.find_first_of(" =", dashes);
            const auto option = dashes == std::string_view::npos
                                    ? std::nullopt
                                    : OptionNamed(line.substr(dashes, end - dashes));
            taken = !option || verb.options.Has(*option) || *option == Option::Help ||
                    *option == Option::Version;
        }
        if (taken)
            text.append(line).append("\n");
    }
    return text;
}

// The help of every system in one text: a line marked "@posix " or
// "@windows " belongs to that system only, and "{terminal}" is the word for where prompts
// appear there.
constexpr std::string_view kHelpSource = R"(Usage:
  quillmoor-cli encrypt [KEY OPTION] [-o PATH | -c] [-f | -n] [-j N] [-q] FILE...
  quillmoor-cli decrypt [KEY OPTION] [-o PATH | -c] [-f | -n] [-j N] [--lenient] [-q] FILE...
  quillmoor-cli test [KEY OPTION] [-q] FILE...
  quillmoor-cli wipe [-y] [-u] [-q] FILE...
  quillmoor-cli md5 [TEXT]
  quillmoor-cli keygen [--bytes N] [-o FILE] [-q]
  quillmoor-cli -h | --help | -V | --version
  quillmoor-cli COMMAND --help

Encrypts, decrypts and wipes single files exactly as the Quillmoor window does:
the same commands, the same file format, the same target names.

Commands:
  encrypt  Writes FILE.BF beside each FILE: Blowfish in CBC mode, no header.
           FILE itself is only read. An existing FILE.BF is replaced only
           when you say so (see -f); the new file takes its place in one
           step, so a failure or an interrupt leaves the old one as it was.
           An empty password, or
           the key MD5 makes of one, is refused: anyone could open the file.
  decrypt  Writes each FILE less its ".BF" (any case): a.txt.BF gives a.txt.
           A FILE whose name does not end in .BF is refused unless -o names
           the target, and so is the name ".BF" alone, as nothing would be
           left of it. An existing target is replaced as by encrypt. A wrong
           key is usually noticed ("wrong key or damaged file") and writes
           nothing, but about one wrong key in 256 passes: keep -f for when
           you are sure. Any key is taken, so old files still open.
  test     Deciphers each FILE with the key and checks its filler as decrypt
           does, and writes nothing: does this key open these files? Status
           0 when every FILE passes, 1 otherwise. Passing is no proof: about
           one wrong key in 256 passes the check.
  wipe     Overwrites each FILE in place, three times over: zeros, random
           bytes, then bytes of 255, in 250-byte blocks, each pass forced to
           the device. The file is not deleted (unless -u): it keeps its name,
           holds only bytes of 255 and grows to a whole number of 250-byte
           blocks. On
           journaling or copy-on-write file systems and on SSDs, older copies
           of the data may survive elsewhere on the device.
  md5      Prints the key that the window's MD5 button makes of a password:
           32 lowercase hexadecimal digits. TEXT is the password; without it
           or with "-", one line of standard input (asked for without echo on
           a {terminal}).
           TEXT on the command line can be seen by other users; prefer stdin.
  keygen   Prints a random key from the system's random source as
           hexadecimal text and a line feed, ready for --key-file or the
           window's Key box. With -o, writes it to a new file, readable by its
@posix            owner only (mode 0600); an existing file is never replaced.
@windows            that takes its folder's permissions (keep it in a folder of
@windows            your own, such as %USERPROFILE%); an existing file is never
@windows            replaced.

Key options (encrypt, decrypt and test take at most one):
  --key-env VAR          the key is the value of the environment variable VAR
  --key-file PATH        the key is the first line of the file PATH
  --password-env VAR     a password in VAR, turned into the key as by md5
  --password-file PATH   a password, the first line of PATH
  PATH "-" is standard input. A key is hexadecimal text, two digits a byte,
  1 to 56 bytes (at most 112 digits); its first 8 bytes, zero-filled, are
  also the initial chaining block. Encrypt takes hexadecimal digits only.
  Decrypt takes any text and converts it as the window does (a character that
  is not a digit counts as 0 or ends its pair), so files made with such keys
  still open. A password always gives a 16-byte key.
@posix   With no key option, a password is asked for on the terminal (/dev/tty,
@windows   With no key option, a password is asked for on the console (CONIN$,
  not standard input or error), without echo; encrypt asks twice and stops
  if the two entries differ. With no key option and no {terminal}, it is a
@posix   usage error. A PATH that is a terminal ("-" or /dev/stdin on one,
@posix   /dev/tty) asks the same way; echo is turned off again if the program is
@posix   stopped and continued (Ctrl-Z, fg). Keys and passwords are never taken
@posix   from the command line.
@windows   usage error. A PATH that is the console ("-" on one, CONIN$) asks the
@windows   same way. Keys and passwords are never taken from the command line.
  Text is read as UTF-8 and converted to UTF-16 before use. From every
  source alike, one trailing CR LF, LF or CR is not part of the key or
  password, nor is a leading byte-order mark in a file; a file gives its
  first line only; a line is at most 64 KiB.
  Characters beyond U+00FF count by the low 8 bits of their UTF-16 units, as
  in the window.
  Warnings (not refusals; --quiet silences them): encrypt with a key shorter
  than 16 bytes; a password with characters beyond U+00FF.

Other options:
  -o, --output PATH   encrypt, decrypt: with one FILE, the target file; with
                      a folder, every target goes there under its usual name;
@posix                       "-" (or /dev/stdout) is standard output. A target is
@posix                       its owner's alone while written; a new encrypted file
@posix                       then gets the source's mode, a new decrypted file 0600,
@posix                       less the umask. A replaced target keeps its mode only
@posix                       when it is a regular file of yours; a symbolic link is
@posix                       refused. keygen: the new key file.
@windows                       "-" is standard output. A target is written to a
@windows                       hidden file beside it, which takes its place in one
@windows                       step; a new file takes its folder's permissions.
@windows                       keygen: the new key file.
  -c, --stdout        encrypt, decrypt: write to standard output, as -o -.
                      Data is written to a {terminal} only with -o - itself.
  -f, --force         encrypt, decrypt: replace existing targets without
                      asking. Without -f or -n, an existing target is asked
                      about on the {terminal} ("replace a.txt? [y/N]"), once per
                      file and before any file is touched; a no skips that
                      file. With no {terminal}, such a file is refused (status
                      1: "a.txt exists; -f replaces it") and the others go on.
  -n, --no-clobber    encrypt, decrypt: refuse to replace an existing target.
  -j, --jobs N        encrypt, decrypt: work on up to N files at once (1 to
                      64; default: one per core, and for encrypt eight per
                      core, enciphered side by side). Messages, their order
                      and the exit status are those of one file after another.
      --bytes N       keygen: the key length, 1 to 56 bytes (default 16).
      --files-from LIST
                      encrypt, decrypt, test, wipe: the FILEs named in LIST,
                      one per line ("-": standard input), join those given as
                      arguments, in one run with one ordered report.
  -0, --null          with --files-from: each name ends in a zero byte
@posix                       instead (find -print0), so any name can be listed.
@windows                       instead, so any name can be listed.
  -u, --remove        wipe: then empty the file, rename it step by step to
                      shorter names made of one repeated character, and
@posix                       remove it (as shred -u). Without it the file stays.
@windows                       remove it. Without it the file stays.
      --lenient       decrypt: recover what can be recovered from a damaged
                      file or a file decrypted with the wrong key: bytes after
                      the last whole 8-byte block are ignored and bad filler
                      is kept as data.
  -q, --quiet         print nothing but errors: no progress bar, no summary
                      lines, no warnings.
  -y, --yes           wipe: do not ask. Without --yes, wipe asks for each file
                      on the {terminal} (answer y or yes; anything else skips
                      the file), and with no {terminal} refuses with exit status
                      2 before touching any file, because nobody can confirm
                      and a wipe cannot be undone.
  -h, --help          show this help.
  -V, --version       show the version.
  --                  ends the options: later arguments are files (or TEXT).
  Short options may be bundled: -qy, -qj2, -oFILE.

A FILE names one file; it is split into its folder ("." for a bare name) and
its name, and handed to the same command as a selection in the window.
@windows A FILE with * or ? outside quotes stands for the files of its folder that
@windows match it (any run of characters, one character; case ignored; folders,
@windows hidden and system files left out), in order of their names. One that
@windows matches nothing stays as typed and fails as a missing file; in quotes
@windows ("*.txt") it is taken as typed.

Standard input and output ("-"):
  FILE "-" reads standard input; its output goes to standard output unless
  -o names a file. "-o -" writes any one FILE to standard output. Encryption
  streams in constant memory. Decrypting a file or a redirected file checks
  the final block before writing anything, so a wrong key writes nothing,
  not even to standard output. From a pipe that check can only come at the
  end: the output then stops before the final block, and the exit status is
  1 with the usual "wrong key or damaged file". A target file written from
@posix   standard input is readable by its owner only (0600 less the umask). A
@windows   standard input takes its folder's permissions, as any new file. A
  regular file at both ends (-o - >> FILE, or - -o FILE < FILE) is refused
  before anything is read, and a source file that changes length while it
  is streamed fails as a file does.

Output:
@posix   One line per file on standard output ("encrypted a.txt -> ./a.txt.BF"),
@windows   One line per file on standard output ("encrypted a.txt -> .\a.txt.BF"),
  none when the data goes there, and a progress bar on standard error for
  work of 16 MiB or more when standard error is a {terminal}: the file, its
  place among several ([2/8]), bytes done and the rate. Errors go to
  standard error as "quillmoor-cli: FILE: reason"; the other files are still
  processed.

Exit status:
  0  every file was done (a file skipped at the wipe question is no failure)
  1  at least one file failed; each failure was reported
  2  usage error, or no usable key: no file was touched
@posix   An interrupt (Ctrl-C) abandons the files at work: encrypt and decrypt
@posix   leave nothing changed, a wipe leaves the file partly overwritten. Files
@posix   not yet started are not started, and the program ends by the signal; so
@posix   does any other signal that would end it (SIGTERM, SIGHUP, SIGQUIT,
@posix   SIGUSR1, ...). Output that cannot be written (a full disk, a closed pipe)
@posix   gives at least status 1.
@windows   An interrupt (Ctrl+C or Ctrl+Break) abandons the files at work: encrypt
@windows   and decrypt leave nothing changed, a wipe leaves the file partly
@windows   overwritten. Files not yet started are not started, and the program
@windows   ends with status 3, as an interrupted console program does.
@windows   Output that cannot be written (a full disk, a closed pipe) gives at
@windows   least status 1.

Examples:
  quillmoor-cli encrypt report.pdf                        # asks twice, no echo
@posix   quillmoor-cli keygen -o ~/.quillmoor-key
@posix   quillmoor-cli encrypt --key-file ~/.quillmoor-key *.txt
@posix   tar c photos | quillmoor-cli encrypt --key-file ~/.quillmoor-key - -o photos.tar.BF
@posix   quillmoor-cli decrypt --key-file ~/.quillmoor-key notes.txt.BF -o - | less
@windows   quillmoor-cli keygen -o %USERPROFILE%\quillmoor-key.txt
@windows   quillmoor-cli encrypt --key-file %USERPROFILE%\quillmoor-key.txt *.txt
@windows   quillmoor-cli decrypt --key-file %USERPROFILE%\quillmoor-key.txt *.BF
@windows   quillmoor-cli decrypt --key-file %USERPROFILE%\quillmoor-key.txt notes.txt.BF -o - | more
  quillmoor-cli decrypt --lenient --key-env QM_KEY damaged.BF
  quillmoor-cli md5 < passphrase.txt > key.txt
  quillmoor-cli wipe --yes old-notes.txt

Limits: a password is one unsalted MD5, nothing is authenticated, the same
@posix input gives the same output; see CAVEATS in man quillmoor-cli.
@windows input gives the same output; see "What the format does not protect"
@windows in README.txt.
)";

} // namespace

std::string HelpTextFor(System system) {
    constexpr std::string_view kPosix = "@posix ", kWindows = "@windows ", kTerminal = "{terminal}";
    std::string text;
    for (std::string_view line : Lines(kHelpSource)) {
        if (line.starts_with(kPosix) || line.starts_with(kWindows)) {
            const bool posix = line.starts_with(kPosix);
            if (posix != (system == System::Posix))
                continue;
            line.remove_prefix(posix ? kPosix.size() : kWindows.size());
        }
        for (std::size_t at = line.find(kTerminal); at != std::string_view::npos;
             at = line.find(kTerminal)) {
            text.append(line.substr(0, at)).append(TerminalWord(system));
            line.remove_prefix(at + kTerminal.size());
        }
        text.append(line).append("\n");
    }
    return text;
}

std::string_view HelpText() {
    static const std::string text = HelpTextFor(kThisSystem);
    return text;
}

std::string VerbHelp(const Verb& verb) {
    std::string text = "Usage:\n";
    const std::string usage = "  quillmoor-cli " + std::string(verb.name) + " ";
    for (const std::string_view line : Section("Usage"))
        if (line.starts_with(usage) || line == usage.substr(0, usage.size() - 1))
            text.append(line).append("\n");
    text += "\n";
    bool in = false;
    for (const std::string_view line : Section("Commands")) {
        if (StartsEntry(line, 2))
            in = line.substr(2).starts_with(std::string(verb.name) + " ");
        if (in)
            text.append(line).append("\n");
    }
    if (verb.options.Has(Option::Key)) {
        text += "\nKey options:\n";
        for (const std::string_view line : Section("Key options"))
            text.append(line).append("\n");
    }
    text += "\nOptions:\n" + OptionsOf(verb);
    return text + "\n'quillmoor-cli --help' shows the help of every command.\n";
}

} // namespace quillmoor::cli
