#!/usr/bin/env bash
# The DLL exports DllMain alone, carries its string table and version resources, and imports
# system DLLs only (no mingw runtime DLL), none of those that the folder, profile and drive lookups
# and the crash reports load when they need them.
set -euo pipefail
dll=$1
dump=$(x86_64-w64-mingw32-objdump -p "$dll")
fail=0
exports=$(awk '/\[Ordinal\/Name Pointer\] Table/{f=1;next} f&&/^[ \t]*\[/{print $NF} f&&/^$/{f=0}' <<<"$dump")
if [ "$exports" != "DllMain" ]; then echo "exports are not exactly DllMain: [$exports]"; fail=1; fi
imports=$(awk '/DLL Name:/{print tolower($3)}' <<<"$dump" | sort -u)
allowed='^(kernel32|advapi32|user32|gdi32|bcrypt|ntdll|msvcrt|api-ms-win-[a-z0-9-]+)\.dll$'
loadedOnUse='^(shell32|ole32|userenv|mpr|dbghelp|wer)\.dll$'
while read -r d; do
    [ -z "$d" ] && continue
    if grep -Eq "$loadedOnUse" <<<"$d"; then echo "imports $d, which is to load only when used"; fail=1
    elif ! grep -Eq "$allowed" <<<"$d"; then echo "unexpected import: $d"; fail=1; fi
done <<<"$imports"
x86_64-w64-mingw32-objdump -h "$dll" | grep -q '\.rsrc' || { echo "no resource section"; fail=1; }
# Read the strings once: "strings | grep -q" fails under pipefail when grep stops reading early.
texts=$(strings -el "$dll")
grep -q 'Halvern Technologies' <<<"$texts" || { echo "no company string"; fail=1; }
grep -q 'Tidewell' <<<"$texts" || { echo "no component string"; fail=1; }
grep -q 'FileVersion' <<<"$texts" || { echo "no version resource"; fail=1; }
[ $fail -eq 0 ] && echo "DLL image: exports [$exports], imports [$(echo $imports)]: 1 passed, 0 failed"
exit $fail
