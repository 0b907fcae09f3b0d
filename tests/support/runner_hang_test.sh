#!/bin/bash
# The Wine runner's hang limit. A test program still running at its limit is
# reported with the backtraces of the prefix's processes, every Wine process
# of the prefix (the program's child among them) is ended, and the program
# runs once more: hung again, it fails; passing then, it passes, and the test
# summary and the digest say that it hung first. The prefix serves the next
# program as before.
#   runner_hang_test.sh hang_probe.exe
set -u
probe=$1
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$ROOT/scripts/env.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

# The output as CTest logs it (test #1), for the summary and the digest.
as_ctest_log() {  # output result seconds
  sed 's/^/1: /' "$1"
  echo "1/1 Test #1: hang_probe .......................$2  $3.00 sec"
}

echo "--- a program that hangs in both runs"
start=$SECONDS
CX_TEST_LIMIT=10 "$ROOT/scripts/wine-run.sh" "$probe" --gtest_color=no >"$work/out" 2>&1
rc=$?
took=$((SECONDS - start))
echo "it ended after $took s with exit code $rc"
check "it fails with exit code 124" '[ "$rc" -eq 124 ]'
check "its case started its child in both runs" '[ "$(grep -c "^child started" "$work/out")" -eq 2 ]'
check "the runner took it for hung twice" '[ "$(grep -c "still running after 10 s: taken for hung" "$work/out")" -eq 2 ]'
check "and ran it again once" '[ "$(grep -c "hang_probe.exe run again after a hang" "$work/out")" -eq 1 ]'
check "the probe and its child are listed among the prefix processes" \
  '[ "$(grep -c "hang_probe.exe" "$work/out")" -ge 4 ]'
check "the threads of the probe are backtraced" 'grep -q "Backtracing for thread .* (.*hang_probe.exe)" "$work/out"'
check "no Wine process of the prefix is left" '[ -z "$(wine_prefix_pids)" ]'
as_ctest_log "$work/out" "***Failed" "$took" >"$work/ctest.log"
python3 "$ROOT/scripts/failure_digest.py" "$work/ctest.log" >"$work/digest"
sed 's/^/digest| /' "$work/digest" | head -8
check "the digest names the failed test and its second run" 'grep -q "^--- hang_probe: Failed (its second run, after a hang)" "$work/digest"'
check "the digest names the case that was running" \
  'grep -q "case still running at its end: HangProbe.WaitsForeverBesideItsChild" "$work/digest"'
check "the digest shows the threads of the probe first" \
  'grep -m1 -E "^  \S+\.exe [0-9a-f]+: " "$work/digest" | grep -q "^  hang_probe.exe "'
check "the digest names the function of the case and its line, from the test's debug information" \
  'grep -q "HangProbe_WaitsForeverBesideItsChild_Test::TestBody (hang_probe.cpp:[0-9]*)" "$work/digest"'
python3 "$ROOT/scripts/count_tests.py" probe "$work/ctest.log" >"$work/summary"
check "the summary counts one failed case" 'grep -qx "probe: 0 passed, 1 failed" "$work/summary"'

echo "--- a program that hangs in its first run only"
rm -f "$work/once"
start=$SECONDS
CX_HANG_ONCE="Z:$work/once" CX_TEST_LIMIT=10 "$ROOT/scripts/wine-run.sh" "$probe" --gtest_color=no >"$work/out" 2>&1
rc=$?
took=$((SECONDS - start))
echo "it ended after $took s with exit code $rc"
check "it passes" '[ "$rc" -eq 0 ]'
check "after one hang and one more run" \
  '[ "$(grep -c "taken for hung" "$work/out")" -eq 1 ] && grep -q "run again after a hang" "$work/out"'
check "whose case passed" 'grep -q "^\[  PASSED  \] 1 test" "$work/out"'
as_ctest_log "$work/out" "   Passed" "$took" >"$work/ctest.log"
python3 "$ROOT/scripts/count_tests.py" probe "$work/ctest.log" >"$work/summary"
sed 's/^/summary| /' "$work/summary"
check "the summary counts the second run alone" 'tail -1 "$work/summary" | grep -qx "probe: 1 passed, 0 failed"'
check "and names the program that hung" 'grep -q "^probe: hung, .*run again: hang_probe$" "$work/summary"'
python3 "$ROOT/scripts/failure_digest.py" "$work/ctest.log" >"$work/digest"
check "the digest shows what the first run was doing" \
  'grep -q "^--- hang_probe: Passed when run again after a hang" "$work/digest" &&
   grep -q "case still running at its end: HangProbe.WaitsForeverBesideItsChild" "$work/digest"'

echo "--- the programs after them"
"$ROOT/scripts/wine-run.sh" cmd /c exit 3 >/dev/null 2>&1
rc=$?
check "the next program runs and its exit code comes through" '[ "$rc" -eq 3 ]'
CX_TEST_LIMIT=60 "$ROOT/scripts/wine-run.sh" cmd /c exit 5 >/dev/null 2>&1
rc=$?
check "under a limit, too" '[ "$rc" -eq 5 ]'
exit $fail
