#!/bin/bash
# Installs what is missing (Debian, as root), builds the native tree and both
# Windows trees, and runs every test once per purpose: native; under Wine and
# end to end in network namespaces, the whole suite on one Windows tree (x86,
# the product, where the host runs 32-bit code; else x64) and, on the other,
# what differs between the architectures (x64: label "arch"; x86 on a host
# that cannot run it: the image checks alone); the native tests again under
# sanitizers; a short fuzzing round. Ends with the combined summary line,
# counted in test cases, and which tests ran where.
set -uo pipefail
source "$(dirname "${BASH_SOURCE[0]}")/env.sh"
# Each Windows tree below picks its own architecture and prefix.
unset WINEPREFIX CX_WIN_ARCH
started=$SECONDS
phases=()
phase_done() {  # name: the time since the last phase, for the summary
  phases+=("$1 $(( (SECONDS - phase_start) / 60 )) min $(( (SECONDS - phase_start) % 60 )) s")
  phase_start=$SECONDS
}
phase_start=$SECONDS

bash "$CX_ROOT/scripts/install-deps.sh" || { echo "installing the dependencies failed"; exit 1; }
phase_done "install"

# The whole suite runs on one Windows tree; the other builds its programs and
# what its own tests need.
if host_runs_x86; then
  full=x86 part=x64 part_targets=cx_arch_tests part_args=(-L '^arch$')
  part_label="windows x64 (what differs by architecture)"
else
  full=x64 part=x86 part_targets=Clipdex,updata part_args=(-R '^program_files$')
  part_label="windows x86 (file checks only)"
  echo "32-bit Windows tests: not run, this host cannot run 32-bit code ($CX_X86_WHY); the x86 program was built and its file checks run"
fi
bash "$CX_ROOT/scripts/build.sh" "$full" "$part:$part_targets" || { echo "build failed"; exit 1; }
phase_done "build"

# A display of our own for the windows the tests open.
XVFB_PID=""
cleanup() { [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null; wait 2>/dev/null; }
trap cleanup EXIT
start_private_display 90 || exit 1

summaries=()
where=()
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
# A fresh prefix for the Windows tests of a tree (the network and end-to-end
# tests make their own), made by the wrapper on first use.
fresh_prefix() {  # arch
  (
    export CX_WIN_ARCH=$1
    unset WINEPREFIX
    source "$CX_ROOT/scripts/env.sh"
    rm -rf "$WINEPREFIX" "$CX_ROOT/build/win-$1/wineprefix-runner-test"
    "$CX_ROOT/scripts/wine-run.sh" wineboot -u >/dev/null 2>&1
    # Xvfb has no window manager: let Wine frame its windows itself instead
    # of waiting for a manager that never answers.
    "$CX_WINE" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
    wineserver -w
  )
}
stop_prefix() {  # arch
  (export CX_WIN_ARCH=$1; unset WINEPREFIX; source "$CX_ROOT/scripts/env.sh"; wineserver -k 2>/dev/null || true)
}
# The tests of a tree, one name a line, as CTest lists them with these arguments.
test_names() {  # dir [ctest args]
  local dir=$1; shift
  ctest --test-dir "$dir" -N "$@" | sed -nE 's/^ *Test +#[0-9]+: (.*)$/\1/p' | tr '\n' ' '
}

run_ctest "native" "$CX_BUILD_NATIVE" -j2
phase_done "native tests"

# The programs of a tree's own prefix run one at a time (a lock in CTest);
# the network and end-to-end tests, each in a namespace and a prefix of its
# own, run beside them.
fresh_prefix "$full"
CX_WIN_ARCH=$full run_ctest "windows $full" "$CX_ROOT/build/win-$full" -j3
stop_prefix "$full"
where+=("windows $full: every test")
phase_done "windows $full"

if [ "$part" = x64 ]; then
  fresh_prefix "$part"
  CX_WIN_ARCH=$part run_ctest "$part_label" "$CX_ROOT/build/win-$part" -j3 "${part_args[@]}"
  stop_prefix "$part"
else
  # The product's image checks need no Wine.
  run_ctest "$part_label" "$CX_ROOT/build/win-$part" "${part_args[@]}"
fi
where+=("$part_label: $(test_names "$CX_ROOT/build/win-$part" "${part_args[@]}")")
phase_done "windows $part"

# The platform-free code once more under the address and undefined-behaviour
# sanitizers (its tests only), and a short coverage-guided fuzzing round over
# each parser.
CX_BUILD_ASAN="$CX_ROOT/build/asan"
if cmake -S "$CX_ROOT" -B "$CX_BUILD_ASAN" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCX_SANITIZE=ON >/dev/null &&
   cmake --build "$CX_BUILD_ASAN" -j"$(nproc)" --target $(test_names "$CX_BUILD_NATIVE") >"$CX_ROOT/build/asan-build.log" 2>&1; then
  run_ctest "native under sanitizers" "$CX_BUILD_ASAN" -j2
else
  tail -30 "$CX_ROOT/build/asan-build.log"
  summaries+=("native under sanitizers: 0 passed, 1 failed (the build failed)")
fi
phase_done "sanitizers"

echo "=== fuzzing ==="
CX_BUILD_FUZZ="$CX_ROOT/build/fuzz" bash "$CX_ROOT/scripts/fuzz.sh" "${CX_FUZZ_SECONDS:-20}" 2>&1 | tee "$CX_ROOT/build/fuzz.log"
line=$(grep -E '^fuzzers: [0-9]+ passed, [0-9]+ failed' "$CX_ROOT/build/fuzz.log" | tail -1)
summaries+=("${line:-fuzzers: 0 passed, 1 failed}")
phase_done "fuzzing"

echo
[ ${#digests[@]} -eq 0 ] || printf '%s\n' "${digests[@]}"
echo "=== summary ==="
echo "Windows architectures run under Wine: $([ "$part" = x64 ] && echo "x86 (all) x64 (what differs)" || echo x64)"
if [ "$part" = x86 ]; then
  echo "x86 (32-bit) Windows tests could not run on this host: $CX_X86_WHY"
fi
echo "which tests ran where:"
printf '  %s\n' "${where[@]}"
echo "time of each step: $(IFS=,; echo "${phases[*]}" | sed 's/,/; /g')"
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
