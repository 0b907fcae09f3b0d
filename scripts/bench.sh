#!/bin/bash
# Runs every benchmark and prints its figures: natively, then under Wine on a
# private Xvfb display, with the 32-bit programs where this host runs 32-bit
# code and the 64-bit ones elsewhere. Builds first when a program is missing.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
if host_runs_x86; then
  export CX_WIN_ARCH=x86
else
  export CX_WIN_ARCH=x64
  echo "Wine benchmarks run the 64-bit programs: this host cannot run 32-bit code ($CX_X86_WHY)"
fi
unset WINEPREFIX
source "$CX_ROOT/scripts/env.sh"

if [ ! -x "$CX_BUILD_NATIVE/tests/services/bench_text" ] || [ ! -f "$CX_BUILD_WIN/tests/app/parse_benchmark.exe" ]; then
  bash "$CX_ROOT/scripts/build.sh" "$CX_WIN_ARCH" || exit 1
fi

XVFB_PID=""
trap '[ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null' EXIT
start_private_display 121

echo "=== text primitives (native) ==="
"$CX_BUILD_NATIVE/tests/services/bench_text" --benchmark_min_time=0.2
echo "=== body decoding (native) ==="
"$CX_BUILD_NATIVE/tests/web/web_decode_bench"
for b in tests/web/web_decode_bench tests/ui/cx_ui_list_benchmark tests/app/escape_benchmark tests/app/parse_benchmark \
         tests/app/page_benchmark; do
  echo "=== $(basename "$b") (Wine, $CX_WIN_ARCH) ==="
  timeout 600 "$CX_ROOT/scripts/wine-run.sh" "$CX_BUILD_WIN/$b.exe"
done
wineserver -k 2>/dev/null || true

# The real program against the demo site: a channel of ten pages of 1 000
# videos, its run timed against the program's own waits, and its memory.
echo "=== a channel of 10 000 videos, end to end (Wine, $CX_WIN_ARCH) ==="
if [ "$(id -u)" != 0 ]; then
  echo "not run: the demo site needs a network namespace, which needs root"
elif [ ! -f "$CX_BUILD_WIN/bin/Clipdex.exe" ] || [ ! -f "$CX_BUILD_WIN/bin/e2e_driver.exe" ]; then
  echo "not run: $CX_BUILD_WIN/bin holds no Clipdex.exe and e2e_driver.exe"
else
  python3 "$CX_ROOT/tests/e2e/run_e2e.py" large_channel --program "$CX_BUILD_WIN/bin/Clipdex.exe" \
    --driver "$CX_BUILD_WIN/bin/e2e_driver.exe" --work "$CX_BUILD_WIN/e2e/bench_large_channel" \
    --templates "$CX_BUILD_WIN/e2e" | grep -v '^  row '
fi
