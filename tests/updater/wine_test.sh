#!/bin/bash
# Inside the test namespace: runs a Windows program under Wine in the
# namespace's own prefix. No window manager runs on the test display, and a
# managed window waits seconds for one when it goes, so the prefix leaves its
# windows unmanaged.
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$ROOT/scripts/env.sh"
"$ROOT/scripts/wine-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
exec "$ROOT/scripts/wine-run.sh" "$@"
