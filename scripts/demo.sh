#!/bin/bash
# Shows Clipdex at work against the bundled demo video site (run as root).
#
#   scripts/demo.sh
#
# Builds the trees when the program or the driver is missing, serves the demo
# site in a network namespace of its own (nothing leaves the machine) and
# runs the real Clipdex.exe under Wine against it: the 32-bit program (the
# product) where this host runs 32-bit code, the 64-bit one elsewhere.
#   - With $DISPLAY set (a local X server), the window opens there and you use
#     it: type clipdexdemo, click User twice (it starts checked) and press 获取.
#   - Without $DISPLAY, the program runs on a private Xvfb display, the demo
#     channel is fetched from end to end, the first and last rows are printed
#     and a screenshot of the filled list is written; its path is printed.
# Everything started here is stopped again when the demo ends.
set -euo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
if host_runs_x86; then
  export CX_WIN_ARCH=x86
  echo "running the 32-bit program (x86)"
else
  export CX_WIN_ARCH=x64
  echo "running the 64-bit program (x64): this host cannot run 32-bit code ($CX_X86_WHY)"
fi
unset WINEPREFIX
source "$CX_ROOT/scripts/env.sh"

PROGRAM="$CX_BUILD_WIN/bin/Clipdex.exe"
DRIVER="$CX_BUILD_WIN/bin/e2e_driver.exe"
if [ ! -f "$PROGRAM" ] || [ ! -f "$DRIVER" ]; then
  echo "building (native and $CX_WIN_ARCH Windows trees) ..."
  JOBS="${JOBS:-2}" bash "$CX_ROOT/scripts/build.sh" "$CX_WIN_ARCH"
fi

WORK="$CX_ROOT/build/demo"
mkdir -p "$WORK"
ARGS=(demo --program "$PROGRAM" --driver "$DRIVER" --work "$WORK" --templates "$WORK")
if [ -n "${DISPLAY:-}" ]; then
  ARGS+=(--interactive)
fi
exec python3 "$CX_ROOT/tests/e2e/run_e2e.py" "${ARGS[@]}"
