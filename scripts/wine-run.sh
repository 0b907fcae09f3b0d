#!/bin/bash
# Runs a Windows program under Wine with the project's prefix, the Chinese
# locale (ANSI code page 936) and the display the caller set up.
# The prefix is made on first use.
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
exec wine "$@"
