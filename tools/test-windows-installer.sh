#!/usr/bin/env bash
# The Windows installer under wine: install quietly, check the files, the
# shortcuts, the .BF type, the PATH entry and the installed-apps entry, open
# the type through the shell's association, uninstall and check that nothing
# of ours is left. Runs in the wine prefix of the caller (WINEPREFIX), as the
# caller's user; prints one line per check and fails on the first miss.
# Usage: test-windows-installer.sh PACKAGE.msi VERSION [PROBE.exe]
# With PROBE (tests/app/win32/WindowProbe.cpp) and a display, a .BF file is
# also opened through the association and must arrive selected in the window.
set -uo pipefail
msi=$1 version=$2 probe=${3:-}
w() { wine "$@" 2>/dev/null | tr -d '\r'; }
unix() { winepath -u "$1" 2>/dev/null | tr -d '\r'; }
failures=0
check() { # check DESCRIPTION COMMAND...: the command must succeed
    local what=$1
    shift
    if "$@" >/dev/null 2>&1; then echo "ok   $what"; else echo "FAIL $what"; failures=$((failures + 1)); fi
}
absent() { ! "$@"; }
reg_has() { w reg query "$1" "${@:3}" | grep -qF -- "$2"; }

appdata=$(unix "$(w cmd /c echo %APPDATA%)")
local_appdata=$(unix "$(w cmd /c echo %LOCALAPPDATA%)")
dir="$local_appdata/Programs/Quillmoor"
start_menu="$appdata/Microsoft/Windows/Start Menu/Programs/Quillmoor.lnk"
send_to="$appdata/Microsoft/Windows/SendTo/Quillmoor.lnk"
files=(quillmoor.exe quillmoor-cli.exe README.txt LICENSE.txt THIRD-PARTY-NOTICES.txt)
classes='HKCU\Software\Classes'
uninstall_entry() { # the installed-apps entry, where this wine keeps it
    for root in HKCU HKLM; do
        w reg query "$root\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall" /s
    done | grep -A20 -F "DisplayName    REG_SZ    Quillmoor" | grep -F "$1"
}

check "msiexec /i /qn exits 0" w msiexec /i "$(winepath -w "$msi")" /qn
for f in "${files[@]}"; do check "installed: $f" test -f "$dir/$f"; done
check "Start-menu shortcut" test -f "$start_menu"
check "Send to shortcut" test -f "$send_to"
check ".BF names the type" reg_has "$classes\\.BF" Quillmoor.Encrypted /ve
check "the type's icon is the program's" \
    reg_has "$classes\\Quillmoor.Encrypted\\DefaultIcon" 'quillmoor.exe",0' /ve
check "the verb's name" reg_has "$classes\\Quillmoor.Encrypted\\shell\\open" "Open with Quillmoor" /ve
check "the verb runs quillmoor.exe \"%1\"" \
    reg_has "$classes\\Quillmoor.Encrypted\\shell\\open\\command" 'quillmoor.exe" "%1"' /ve
check "the folder is on the user's PATH" reg_has 'HKCU\Environment' 'Programs\Quillmoor' /v Path
check "installed-apps entry: version" uninstall_entry "$version"
check "installed-apps entry: publisher" uninstall_entry "The Quillmoor developers"
# Wine does not copy the package's icon into the entry: the package is checked.
check "the package names the entry's icon" \
    bash -c "msiinfo export '$msi' Property | grep -q '^ARPPRODUCTICON'"
check "the installed quillmoor-cli runs" \
    bash -c "wine '$dir/quillmoor-cli.exe' --version 2>/dev/null | grep -qF '$version'"

# This wine does not merge HKCU\Software\Classes into HKCR: the keys go to
# HKLM here, in this prefix only, so that the shell's lookups can see them.
for key in .BF Quillmoor.Encrypted; do
    w reg export "$classes\\$key" "$(winepath -w "$WINEPREFIX/k.reg")" /y >/dev/null
    iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/k.reg" |
        sed 's/HKEY_CURRENT_USER\\Software\\Classes/HKEY_LOCAL_MACHINE\\Software\\Classes/' \
            >"$WINEPREFIX/hklm.reg"
    w regedit /s "$(winepath -w "$WINEPREFIX/hklm.reg")"
done
check "assoc .bf (any case) gives the type" bash -c "wine cmd /c assoc .bf 2>/dev/null | grep -qF Quillmoor.Encrypted"
check "ftype gives the verb's command" \
    bash -c "wine cmd /c ftype Quillmoor.Encrypted 2>/dev/null | grep -qF 'quillmoor.exe\" \"%1\"'"
if [ -n "$probe" ] && [ -n "${DISPLAY:-}" ]; then
    opened="$local_appdata/Quillmoor open test"
    mkdir -p "$opened"
    printf 'x' >"$opened/note.txt.BF"
    wine cmd /c start "" "$(winepath -w "$opened/note.txt.BF")" >/dev/null 2>&1
    selected=$(w "$probe")
    check "a .BF opened through the association arrives selected" test "$selected" = note.txt.BF
    w taskkill /f /im quillmoor.exe >/dev/null
    rm -rf "$opened"
fi
for key in .BF Quillmoor.Encrypted; do w reg delete "HKLM\\Software\\Classes\\$key" /f >/dev/null; done

check "msiexec /x /qn exits 0" w msiexec /x "$(winepath -w "$msi")" /qn
check "no install folder left" absent test -e "$dir"
check "no Start-menu shortcut left" absent test -e "$start_menu"
check "no Send to shortcut left" absent test -e "$send_to"
check "no .BF type left" absent reg_has "$classes\\.BF" Quillmoor /ve
check "no Quillmoor.Encrypted left" absent w reg query "$classes\\Quillmoor.Encrypted"
check "no HKCU\\Software\\Quillmoor left" absent w reg query 'HKCU\Software\Quillmoor'
check "PATH without the folder" absent reg_has 'HKCU\Environment' 'Programs\Quillmoor' /v Path
check "no installed-apps entry left" absent uninstall_entry "Quillmoor"
[ "$failures" -eq 0 ]
