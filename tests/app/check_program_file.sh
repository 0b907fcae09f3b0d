#!/bin/bash
# The shipped files are Windows GUI images of the tree's architecture that
# need no MinGW library beside them, the updater library exports exactly its
# one entry, the GBK name, and both carry the program's version resource, the
# program its application manifest (pe_resources.py).
#   check_program_file.sh x86|x64 Clipdex.exe Updata.dll OBJDUMP
set -u
arch=$1
exe=$2
dll=$3
objdump=$4
HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
fail=0
check() { if ! eval "$2"; then echo "FAILED: $1"; fail=1; else echo "ok: $1"; fi; }

case "$arch" in
  x86) exe_kind='PE32 executable (GUI) Intel 80386'; dll_kind='PE32 executable (DLL) * Intel 80386' ;;
  x64) exe_kind='PE32+ executable (GUI) x86-64'; dll_kind='PE32+ executable (DLL) * x86-64' ;;
  *) echo "unknown architecture $arch"; exit 2 ;;
esac
exe_file=$(file -b "$exe")
dll_file=$(file -b "$dll")
echo "Clipdex.exe: $exe_file"
echo "Updata.dll: $dll_file"
check "Clipdex.exe is a GUI executable for $arch" '[[ "$exe_file" == $exe_kind* ]]'
check "Updata.dll is a DLL for $arch" '[[ "$dll_file" == $dll_kind* ]]'
imports=$("$objdump" -p "$exe" | sed -n 's/^\s*DLL Name: //p' | tr 'A-Z' 'a-z')
echo "imports: $(echo $imports)"
check "no MinGW runtime library is imported" \
  "! echo '$imports' | grep -Eq 'libgcc|libstdc|libwinpthread|zlib|libz'"
for lib in $imports; do
  check "$lib is a system library" \
    "echo '$lib' | grep -Eq '^(comctl32|comdlg32|gdi32|kernel32|msvcrt|ole32|oleaut32|shell32|user32|wininet|advapi32)\.dll$'"
done
check "Updata.dll exports exactly 更新窗口 and imports only system libraries" \
  "cmake -DDLL='$dll' -DOBJDUMP='$objdump' -P '$HERE/../updater/check_exports.cmake'"
check "version resources and the program's manifest, as the files hold them" \
  "python3 '$HERE/pe_resources.py' '$arch' '$exe' '$dll'"
exit $fail
