#include "cli/CliMain.h"

namespace quillmoor::cli {

std::string_view HelpText() {
    return R"(Usage:
  quillmoor-cli encrypt [KEY OPTION] [--quiet] FILE...
  quillmoor-cli decrypt [KEY OPTION] [--lenient] [--quiet] FILE...
  quillmoor-cli wipe [--yes] [--quiet] FILE...
  quillmoor-cli md5 [TEXT]
  quillmoor-cli --help | --version

Encrypts, decrypts and wipes single files exactly as the Quillmoor window does:
the same commands, the same file format, the same target names.

Commands:
  encrypt  Writes FILE.BF beside each FILE: Blowfish in CBC mode, no header.
           FILE itself is only read. An existing FILE.BF is replaced without
           asking; the new file takes its place in one step, so a failure or
           an interrupt leaves the old one as it was. An empty password, or
           the key MD5 makes of one, is refused: anyone could open the file.
  decrypt  Writes each FILE less its last three characters, whatever they
           are: a.txt.BF gives a.txt, and notes.txt gives "notes." (the point
           stays). A name of three characters or fewer is refused, as nothing
           would be left of it. An existing target is replaced as by encrypt.
           A wrong key is usually noticed ("wrong key or damaged file") and
           writes nothing. Any key is taken, so old files still open.
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

Key options (encrypt and decrypt take exactly one, or ask; see below):
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
  With no key option and standard input a terminal, the key is asked for
  without echo; so is "-" on a terminal. Encrypt asks twice and stops if the
  two entries differ. With no key option and no terminal, it is a usage error.
  Keys and passwords are never taken from the command line.
  Text is read as UTF-8 and converted to UTF-16 before use; the line ending
  (LF or CR LF) and a leading byte-order mark are not part of the line.
  Characters beyond U+00FF count by the low 8 bits of their UTF-16 units, as
  in the window.

Other options:
  --lenient   decrypt: recover what can be recovered from a damaged file or
              a file decrypted with the wrong key: bytes after the last whole
              8-byte block are ignored and bad filler is kept as data.
  --quiet     print nothing but errors: no progress bar, no summary lines.
  --yes       wipe: do not ask. Without --yes, wipe asks for each file when
              standard input is a terminal (answer y or yes; anything else
              skips the file), and otherwise refuses with exit status 2
              before touching any file, because nobody can confirm and a wipe
              cannot be undone.
  --          ends the options: later arguments are files (or TEXT).

A FILE names one file; it is split into its folder ("." for a bare name) and
its name, and handed to the same command as a selection in the window.

Output:
  One line per file on standard output ("encrypted a.txt -> ./a.txt.BF"),
  and a progress bar on standard error for work of 16 MiB or more when
  standard error is a terminal. Errors go to standard error as
  "quillmoor-cli: FILE: reason"; the other files are still processed.

Exit status:
  0  every file was done (a file skipped at the wipe question is no failure)
  1  at least one file failed; each failure was reported
  2  usage error, or no usable key: no file was touched
  An interrupt (Ctrl-C) abandons the file at hand: encrypt and decrypt leave
  nothing changed, a wipe leaves the file partly overwritten. Later files are
  not started, and the program ends by the signal.

Examples:
  quillmoor-cli encrypt --password-file - report.pdf     # asks twice, no echo
  export QM_KEY=00112233445566778899aabbccddeeff
  quillmoor-cli encrypt --key-env QM_KEY *.txt
  quillmoor-cli decrypt --key-file ~/.quillmoor-key report.pdf.BF
  quillmoor-cli decrypt --lenient --key-env QM_KEY damaged.BF
  quillmoor-cli md5 < passphrase.txt > key.txt
  quillmoor-cli wipe --yes old-notes.txt
)";
}

} // namespace quillmoor::cli
