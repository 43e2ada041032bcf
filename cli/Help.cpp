#include "cli/CliMain.h"

namespace quillmoor::cli {

std::string_view HelpText() {
    return R"(Usage:
  quillmoor-cli encrypt [KEY OPTION] [-o PATH] [-n] [-j N] [-q] FILE...
  quillmoor-cli decrypt [KEY OPTION] [-o PATH] [-n] [-j N] [--lenient] [-q] FILE...
  quillmoor-cli wipe [-y] [-q] FILE...
  quillmoor-cli md5 [TEXT]
  quillmoor-cli keygen [--bytes N] [-o FILE] [-q]
  quillmoor-cli -h | --help | -V | --version

Encrypts, decrypts and wipes single files exactly as the Quillmoor window does:
the same commands, the same file format, the same target names.

Commands:
  encrypt  Writes FILE.BF beside each FILE: Blowfish in CBC mode, no header.
           FILE itself is only read. An existing FILE.BF is replaced without
           asking; the new file takes its place in one step, so a failure or
           an interrupt leaves the old one as it was. An empty password, or
           the key MD5 makes of one, is refused: anyone could open the file.
  decrypt  Writes each FILE less its ".BF" (any case): a.txt.BF gives a.txt.
           A FILE whose name does not end in .BF is refused unless -o names
           the target, and so is the name ".BF" alone, as nothing would be
           left of it. An existing target is replaced as by encrypt. A wrong
           key is usually noticed ("wrong key or damaged file") and writes
           nothing. Any key is taken, so old files still open.
  wipe     Overwrites each FILE in place, three times over: zeros, random
           bytes, then bytes of 255, in 250-byte blocks, each pass forced to
           the device. The file is not deleted: it keeps its name, holds only
           bytes of 255 and grows to a whole number of 250-byte blocks. On
           journaling or copy-on-write file systems and on SSDs, older copies
           of the data may survive elsewhere on the device.
  md5      Prints the key that the window's MD5 button makes of a password:
           32 lowercase hexadecimal digits. TEXT is the password; without it,
           one line of standard input (asked for without echo on a terminal).
           TEXT on the command line can be seen by other users; prefer stdin.
  keygen   Prints a random key from the system's random source as
           hexadecimal text and a line feed, ready for --key-file or the
           window's Key box. With -o, writes it to a new file, readable by its
           owner only (mode 0600); an existing file is never replaced.

Key options (encrypt and decrypt take at most one):
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
  With no key option, a password is asked for on the terminal (/dev/tty,
  not standard input or error), without echo; encrypt asks twice and stops
  if the two entries differ. With no key option and no terminal, it is a
  usage error. "-" on a terminal asks the same way. Keys and passwords are
  never taken from the command line.
  Text is read as UTF-8 and converted to UTF-16 before use; the line ending
  (LF or CR LF) and a leading byte-order mark are not part of the line; a
  line is at most 64 KiB.
  Characters beyond U+00FF count by the low 8 bits of their UTF-16 units, as
  in the window.
  Warnings (not refusals; --quiet silences them): encrypt with a key shorter
  than 16 bytes; a password with characters beyond U+00FF.

Other options:
  -o, --output PATH   encrypt, decrypt: with one FILE, the target file; with
                      a folder, every target goes there under its usual name;
                      "-" (or /dev/stdout) is standard output. A target is
                      its owner's alone while written; a new encrypted file
                      then gets the source's mode, a new decrypted file 0600,
                      less the umask. A replaced target keeps its mode only
                      when it is a regular file of yours; a symbolic link is
                      refused. keygen: the new key file.
  -n, --no-clobber    encrypt, decrypt: refuse to replace an existing target.
  -j, --jobs N        encrypt, decrypt: work on up to N files at once (1 to
                      64; default: one per core, and for encrypt eight per
                      core, enciphered side by side). Messages, their order
                      and the exit status are those of one file after another.
      --bytes N       keygen: the key length, 1 to 56 bytes (default 16).
      --lenient       decrypt: recover what can be recovered from a damaged
                      file or a file decrypted with the wrong key: bytes after
                      the last whole 8-byte block are ignored and bad filler
                      is kept as data.
  -q, --quiet         print nothing but errors: no progress bar, no summary
                      lines, no warnings.
  -y, --yes           wipe: do not ask. Without --yes, wipe asks for each file
                      on the terminal (answer y or yes; anything else skips
                      the file), and with no terminal refuses with exit status
                      2 before touching any file, because nobody can confirm
                      and a wipe cannot be undone.
  -h, --help          show this help.
  -V, --version       show the version.
  --                  ends the options: later arguments are files (or TEXT).
  Short options may be bundled: -qy, -qj2, -oFILE.

A FILE names one file; it is split into its folder ("." for a bare name) and
its name, and handed to the same command as a selection in the window.

Standard input and output ("-"):
  FILE "-" reads standard input; its output goes to standard output unless
  -o names a file. "-o -" writes any one FILE to standard output. Encryption
  streams in constant memory. Decrypting a file or a redirected file checks
  the final block before writing anything, so a wrong key writes nothing,
  not even to standard output. From a pipe that check can only come at the
  end: the output then stops before the final block, and the exit status is
  1 with the usual "wrong key or damaged file". A target file written from
  standard input is readable by its owner only (0600 less the umask).

Output:
  One line per file on standard output ("encrypted a.txt -> ./a.txt.BF"),
  none when the data goes there, and a progress bar on standard error for
  work of 16 MiB or more when standard error is a terminal: the file, its
  place among several ([2/8]), bytes done and the rate. Errors go to
  standard error as "quillmoor-cli: FILE: reason"; the other files are still
  processed.

Exit status:
  0  every file was done (a file skipped at the wipe question is no failure)
  1  at least one file failed; each failure was reported
  2  usage error, or no usable key: no file was touched
  An interrupt (Ctrl-C) abandons the files at work: encrypt and decrypt
  leave nothing changed, a wipe leaves the file partly overwritten. Files
  not yet started are not started, and the program ends by the signal; so
  does any other signal that would end it (SIGTERM, SIGHUP, SIGQUIT,
  SIGUSR1, ...). Output that cannot be written (a full disk, a closed pipe)
  gives at least status 1.

Examples:
  quillmoor-cli encrypt report.pdf                        # asks twice, no echo
  quillmoor-cli keygen -o ~/.quillmoor-key
  quillmoor-cli encrypt --key-file ~/.quillmoor-key *.txt
  tar c photos | quillmoor-cli encrypt --key-file ~/.quillmoor-key - -o photos.tar.BF
  quillmoor-cli decrypt --key-file ~/.quillmoor-key notes.txt.BF -o - | less
  quillmoor-cli decrypt --lenient --key-env QM_KEY damaged.BF
  quillmoor-cli md5 < passphrase.txt > key.txt
  quillmoor-cli wipe --yes old-notes.txt

Limits: a password is one unsalted MD5, nothing is authenticated, the same
input gives the same output; see CAVEATS in man quillmoor-cli.
)";
}

} // namespace quillmoor::cli
