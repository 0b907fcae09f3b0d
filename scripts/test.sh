#!/bin/bash
# Installs what is missing (Debian, as root), builds both trees and runs every
# test: native, under Wine, and end to end in a network namespace. Ends with
# the combined summary line.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"

bash "$CX_ROOT/scripts/install-deps.sh" || { echo "installing the dependencies failed"; exit 1; }
bash "$CX_ROOT/scripts/build.sh" || { echo "build failed"; exit 1; }

# A display of our own for the windows the tests open.
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT
start_private_display 90

# A fresh prefix for the Windows tests (the network tests make their own).
rm -rf "$WINEPREFIX"
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
# Xvfb has no window manager: let Wine frame its windows itself instead of
# waiting for a manager that never answers.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w

total_pass=0
total_fail=0
run_ctest() {  # name dir [extra args]
  local name=$1 dir=$2; shift 2
  echo "=== $name tests ==="
  ctest --test-dir "$dir" --output-on-failure --timeout 900 "$@" 2>&1 | tee "$dir/ctest.log"
  local line pass fail
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests failed out of [0-9]+' "$dir/ctest.log" | tail -1)
  if [ -z "$line" ]; then
    total_fail=$((total_fail + 1))
    return
  fi
  fail=$(echo "$line" | sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/')
  pass=$(( $(echo "$line" | sed -E 's/.*out of ([0-9]+).*/\1/') - fail ))
  total_pass=$((total_pass + pass))
  total_fail=$((total_fail + fail))
}

run_ctest native "$CX_BUILD_NATIVE" -j2
run_ctest windows "$CX_BUILD_WIN"
wineserver -k 2>/dev/null || true

# The platform-free code once more under the address and undefined-behaviour
# sanitizers, and a short coverage-guided fuzzing round over each parser.
echo "=== native tests under sanitizers ==="
CX_BUILD_ASAN="$CX_ROOT/build/asan"
if cmake -S "$CX_ROOT" -B "$CX_BUILD_ASAN" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCX_SANITIZE=ON >/dev/null &&
   cmake --build "$CX_BUILD_ASAN" -j"$(nproc)" >"$CX_ROOT/build/asan-build.log" 2>&1; then
  run_ctest sanitized "$CX_BUILD_ASAN" -j2
else
  tail -30 "$CX_ROOT/build/asan-build.log"
  echo "sanitizer build failed"
  total_fail=$((total_fail + 1))
fi

echo "=== fuzzing ==="
CX_BUILD_FUZZ="$CX_ROOT/build/fuzz" bash "$CX_ROOT/scripts/fuzz.sh" "${CX_FUZZ_SECONDS:-20}" 2>&1 | tee "$CX_ROOT/build/fuzz.log"
line=$(grep -E '^fuzzers: [0-9]+ passed, [0-9]+ failed' "$CX_ROOT/build/fuzz.log" | tail -1)
if [ -n "$line" ]; then
  total_pass=$((total_pass + $(echo "$line" | sed -E 's/fuzzers: ([0-9]+) passed.*/\1/')))
  total_fail=$((total_fail + $(echo "$line" | sed -E 's/.*passed, ([0-9]+) failed.*/\1/')))
else
  total_fail=$((total_fail + 1))
fi

echo
echo "$total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
