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
for b in tests/web/web_decode_bench tests/ui/cx_ui_list_benchmark tests/app/escape_benchmark tests/app/parse_benchmark; do
  echo "=== $(basename "$b") (Wine, $CX_WIN_ARCH) ==="
  timeout 600 "$CX_ROOT/scripts/wine-run.sh" "$CX_BUILD_WIN/$b.exe"
done
wineserver -k 2>/dev/null || true
