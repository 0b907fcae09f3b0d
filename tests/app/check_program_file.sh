#!/bin/bash
# The shipped files are 32-bit Windows GUI images that need no MinGW library
# beside them, and the updater library exports exactly its one entry.
set -u
exe=$1
dll=$2
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; else echo "ok: $1"; fi; }

check "Clipdex.exe is a PE32 GUI executable for Intel 80386" \
  "file -b '$exe' | grep -q '^PE32 executable (GUI) Intel 80386'"
check "Updata.dll is a PE32 DLL for Intel 80386" \
  "file -b '$dll' | grep -q '^PE32 executable (DLL) .*Intel 80386'"
imports=$(i686-w64-mingw32-objdump -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
echo "imports: $(echo $imports)"
check "no MinGW runtime library is imported" \
  "! echo '$imports' | grep -Eq 'libgcc|libstdc|libwinpthread|zlib|libz'"
for lib in $imports; do
  check "$lib is a system library" \
    "echo '$lib' | grep -Eq '^(comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|user32|wininet|advapi32)\.dll$'"
done
exports=$(i686-w64-mingw32-objdump -p "$dll" | sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | grep -Ec '^\s*\[ *[0-9]+\]')
check "Updata.dll exports one entry" "[ '$exports' -eq 1 ]"
exit $fail
