#!/bin/bash
# Installs what is missing (Debian, as root), builds the native tree and both
# Windows trees, and runs every test: native; under Wine and end to end in a
# network namespace for each Windows architecture this host can run (x64
# always; x86, the product, where the host runs 32-bit code); the native tests
# again under sanitizers; a short fuzzing round. Ends with the combined
# summary line, counted in test cases.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
# Each Windows tree below picks its own architecture and prefix.
unset WINEPREFIX CX_WIN_ARCH
started=$SECONDS

bash "$CX_ROOT/scripts/install-deps.sh" || { echo "installing the dependencies failed"; exit 1; }
bash "$CX_ROOT/scripts/build.sh" x86 x64 || { echo "build failed"; exit 1; }

# A display of our own for the windows the tests open.
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT
start_private_display 90 || exit 1

summaries=()
# What each test that did not pass (or hung once) was doing, shown again just
# before the summary (the full output stays in the tree's ctest.log).
digests=()
run_ctest() {  # label dir [ctest args]
  local label=$1 dir=$2 digest; shift 2
  echo "=== $label ==="
  ctest --test-dir "$dir" -V --timeout 900 "$@" >"$dir/ctest.log" 2>&1
  grep -E '^ *[0-9]+/[0-9]+ Test +#|tests passed|tests failed out of' "$dir/ctest.log"
  summaries+=("$(python3 "$CX_ROOT/scripts/count_tests.py" "$label" "$dir/ctest.log")")
  digest=$(python3 "$CX_ROOT/scripts/failure_digest.py" "$dir/ctest.log")
  [ -z "$digest" ] || digests+=("=== $label: what the failed or hung tests were doing ($dir/ctest.log)" "$digest")
}

run_ctest "native" "$CX_BUILD_NATIVE" -j2

ran_arches=()
if host_runs_x86; then
  arches=(x86 x64)
else
  arches=(x64)
  echo "32-bit Windows tests: not run, this host cannot run 32-bit code ($CX_X86_WHY); the x86 program was built and its file checks run"
fi
for arch in "${arches[@]}"; do
  (
    export CX_WIN_ARCH=$arch
    unset WINEPREFIX
    source "$CX_ROOT/scripts/env.sh"
    # A fresh prefix for the Windows tests (the network tests make their
    # own), made by the wrapper on first use.
    rm -rf "$WINEPREFIX"
    "$CX_ROOT/scripts/wine-run.sh" wineboot -u >/dev/null 2>&1
    # Xvfb has no window manager: let Wine frame its windows itself instead
    # of waiting for a manager that never answers.
    "$CX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
  )
  CX_WIN_ARCH=$arch run_ctest "windows $arch" "$CX_ROOT/build/win-$arch"
  ran_arches+=("$arch")
  (export CX_WIN_ARCH=$arch; unset WINEPREFIX; source "$CX_ROOT/scripts/env.sh"; wineserver -k 2>/dev/null || true)
done
if [ ${#arches[@]} -eq 1 ]; then
  # The product's image checks need no Wine.
  run_ctest "windows x86 (file checks only)" "$CX_ROOT/build/win-x86" -R '^program_files$'
fi

# The platform-free code once more under the address and undefined-behaviour
# sanitizers, and a short coverage-guided fuzzing round over each parser.
CX_BUILD_ASAN="$CX_ROOT/build/asan"
if cmake -S "$CX_ROOT" -B "$CX_BUILD_ASAN" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCX_SANITIZE=ON >/dev/null &&
   cmake --build "$CX_BUILD_ASAN" -j"$(nproc)" >"$CX_ROOT/build/asan-build.log" 2>&1; then
  run_ctest "native under sanitizers" "$CX_BUILD_ASAN" -j2
else
  tail -30 "$CX_ROOT/build/asan-build.log"
  summaries+=("native under sanitizers: 0 passed, 1 failed (the build failed)")
fi

echo "=== fuzzing ==="
CX_BUILD_FUZZ="$CX_ROOT/build/fuzz" bash "$CX_ROOT/scripts/fuzz.sh" "${CX_FUZZ_SECONDS:-20}" 2>&1 | tee "$CX_ROOT/build/fuzz.log"
line=$(grep -E '^fuzzers: [0-9]+ passed, [0-9]+ failed' "$CX_ROOT/build/fuzz.log" | tail -1)
summaries+=("${line:-fuzzers: 0 passed, 1 failed}")

echo
[ ${#digests[@]} -eq 0 ] || printf '%s\n' "${digests[@]}"
echo "=== summary ==="
echo "Windows architectures run under Wine: ${ran_arches[*]}"
if [ ${#arches[@]} -eq 1 ]; then
  echo "x86 (32-bit) Windows tests could not run on this host: $CX_X86_WHY"
fi
total_pass=0
total_fail=0
for s in "${summaries[@]}"; do
  echo "$s"
  n=$(echo "$s" | tail -1 | sed -E 's/.*: ([0-9]+) passed, ([0-9]+) failed.*/\1 \2/')
  total_pass=$((total_pass + ${n% *}))
  total_fail=$((total_fail + ${n#* }))
done
echo "run time: $(( (SECONDS - started) / 60 )) min $(( (SECONDS - started) % 60 )) s"
echo
echo "$total_pass passed, $total_fail failed"
[ "$total_fail" -eq 0 ]
