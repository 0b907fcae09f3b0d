#!/bin/bash
# Runs a Windows program under Wine with the prefix of the architecture in
# CX_WIN_ARCH (x86 by default), the Chinese locale (ANSI code page 936) and
# the display the caller set up. The prefix is made on first use.
#   CX_WIN_ARCH=x64 scripts/wine-run.sh program.exe [arg]...
source "$(dirname "${BASH_SOURCE[0]}")/env.sh" || exit 2
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$CX_WINE" wineboot -i >/dev/null 2>&1
  # A crashing test program must end, not wait behind Wine's crash dialog on
  # a display nobody looks at.
  "$CX_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
fi
exec "$CX_WINE" "$@"
