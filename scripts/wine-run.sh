#!/bin/bash
# Runs a Windows program under Wine with the prefix of the architecture in
# CX_WIN_ARCH (x86 by default), the Chinese locale (ANSI code page 936) and
# the display the caller set up. The prefix is made on first use.
#   CX_WIN_ARCH=x64 scripts/wine-run.sh program.exe [arg]...
#
# With CX_TEST_LIMIT set (seconds; the test programs get it from CTest), a
# program still running after that long is taken for hung: the backtraces of
# every Wine process of the prefix are printed and all of them are ended, so
# that nothing the hung one left waiting holds up what runs next. The program
# then runs once more from the start, with the prefix's processes fresh; its
# output says so ("run again after a hang"), the test summary names it, and
# only that second run's result counts. A program that hangs again fails with
# exit code 124.
source "$(dirname "${BASH_SOURCE[0]}")/env.sh" || exit 2
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  mkdir -p "$WINEPREFIX"
  "$CX_WINE" wineboot -i >/dev/null 2>&1
  # A crashing test program must end, not wait behind Wine's crash dialog on
  # a display nobody looks at.
  "$CX_WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f >/dev/null 2>&1
  wineserver -w
fi
[ -n "${CX_TEST_LIMIT:-}" ] || exec "$CX_WINE" "$@"

# One run of the program within the limit; hung=1 (and 124) when it was
# taken for hung.
hung=0
run_within_limit() {
  local program timer ended rc p
  # The prefix's wineserver ends with the last program of the test before,
  # and takes Wine's service processes with it: a run starts once that is
  # over, not in the middle of it (bounded: a server that does not end is the
  # hang limit's business).
  timeout -k 5 30 wineserver -w 2>/dev/null
  "$CX_WINE" "$@" <&0 &
  program=$!
  sleep "$CX_TEST_LIMIT" &
  timer=$!
  wait -n -p ended "$program" "$timer"
  rc=$?
  if [ "$ended" = "$program" ]; then
    kill "$timer" 2>/dev/null
    wait "$timer" 2>/dev/null
    return "$rc"
  fi
  echo "=== wine-run: $(basename "$1") still running after $CX_TEST_LIMIT s: taken for hung"
  echo "=== wine-run: the prefix's processes (pid, state, kernel wait, command)"
  for p in $(wine_prefix_pids); do
    printf '%s %s %s %s\n' "$p" "$(awk '/^State:/ {print $2}' "/proc/$p/status" 2>/dev/null)" \
      "$(cat "/proc/$p/wchan" 2>/dev/null)" "$(tr '\0' ' ' <"/proc/$p/cmdline" 2>/dev/null | cut -c1-120)"
  done
  echo "=== wine-run: backtraces"
  timeout -k 5 60 "$CX_WINE" winedbg --command "bt all" </dev/null 2>&1
  echo "=== wine-run: ending the prefix's processes"
  timeout -k 5 15 wineserver -k
  for p in $(wine_prefix_pids); do kill -KILL "$p" 2>/dev/null; done
  kill -KILL "$program" 2>/dev/null
  wait "$program" 2>/dev/null
  hung=1
  return 124
}

run_within_limit "$@"
rc=$?
if [ "$hung" -eq 1 ]; then
  echo "=== wine-run: $(basename "$1") run again after a hang"
  run_within_limit "$@"
  rc=$?
fi
exit "$rc"
