#!/bin/bash
# Configures the clang tree with the fuzzing instrumentation, builds it and
# runs every fuzzer for the given number of seconds (default 60), one after
# the other, each over a copy of its seed corpus. Ends with a summary line per
# fuzzer and the combined "N passed, N failed" line.
#
#   scripts/fuzz.sh [seconds]
#
# The libraries the fuzzers link are compiled with the same instrumentation
# (coverage for libFuzzer, address and undefined-behaviour sanitizers), which
# is why the flags go into CMAKE_CXX_FLAGS of the whole tree:
#   CC=clang CXX=clang++ cmake -S . -B build-fuzz -DCX_FUZZ=ON \
#     -DCMAKE_BUILD_TYPE=RelWithDebInfo \
#     -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined"
# The unit tests of that tree run with `ctest --test-dir build-fuzz -LE fuzz`;
# `ctest --test-dir build-fuzz -L fuzz` runs the fuzzers for CX_FUZZ_SECONDS.
# A failing input is kept in build-fuzz/tests/fuzz/work/<fuzzer>/artifacts/.
set -uo pipefail
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${CX_BUILD_FUZZ:-$ROOT/build-fuzz}"
SECONDS_EACH="${1:-60}"
JOBS="${JOBS:-2}"
FUZZERS=(fuzz_decode_body fuzz_text fuzz_cutting fuzz_escape fuzz_escape_fallback)

case "$SECONDS_EACH" in
  ''|*[!0-9]*) echo "usage: $0 [seconds]" >&2; exit 2 ;;
esac
for tool in clang clang++ python3 iconv; do
  command -v "$tool" >/dev/null || { echo "$tool is missing (Debian: clang, libclang-rt-14-dev, python3, libc-bin)"; exit 1; }
done

mkdir -p "$BUILD"
CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DCX_FUZZ=ON -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=fuzzer-no-link,address,undefined" >"$BUILD/configure.log" 2>&1 \
  || { cat "$BUILD/configure.log"; echo "configuring the fuzz tree failed"; exit 1; }
cmake --build "$BUILD" -j"$JOBS" --target "${FUZZERS[@]}" >"$BUILD/build.log" 2>&1 \
  || { tail -40 "$BUILD/build.log"; echo "building the fuzzers failed"; exit 1; }

export ASAN_OPTIONS="abort_on_error=1:detect_leaks=1"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1"
passed=0
failed=0
summary=()
for f in "${FUZZERS[@]}"; do
  work="$BUILD/tests/fuzz/work/$f"
  rm -rf "$work"
  mkdir -p "$work/corpus" "$work/artifacts"
  cp "$ROOT/tests/fuzz/corpus/$f/"* "$work/corpus/" 2>/dev/null
  echo "=== $f: $SECONDS_EACH s"
  "$BUILD/tests/fuzz/$f" -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -1)
  speed=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$work/log" | tail -1)
  cov=$(grep -oE 'cov: [0-9]+' "$work/log" | tail -1)
  if [ "$rc" -eq 0 ]; then
    passed=$((passed + 1))
    summary+=("$f: ok, ${runs:-?} runs, ${speed:-?} exec/s, ${cov:-cov: ?}, corpus $(ls "$work/corpus" | wc -l) files")
  else
    failed=$((failed + 1))
    grep -E "invariant broken|ERROR:|SUMMARY:|runtime error" "$work/log" | head -5
    summary+=("$f: FAILED (exit $rc), input in $work/artifacts, log $work/log")
  fi
done

echo
printf '%s\n' "${summary[@]}"
echo "fuzzers: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
