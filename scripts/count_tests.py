#!/usr/bin/env python3
"""Counts what one verbose CTest run (ctest -V) ran, case by case.

A GoogleTest program counts each of its test cases: a case that reported
"[       OK ]" passed, one that reported "[  FAILED  ] ... (N ms)" failed; one that reported "[  SKIPPED ]" is named as skipped. A
program that failed although none of its cases did (it crashed, hung or
ended badly) counts one failure more. Any other test (a script, an end-to-end
run, a fuzzer) counts as one case of its own.

    count_tests.py LABEL ctest.log   ->   "LABEL: N passed, N failed"
"""
import re
import sys

RESULT = re.compile(r"^\s*\d+/\d+ Test\s+#(\d+): (\S+) \.+\**\s*(Passed|\*\*\*Failed|\*\*\*Timeout|\*\*\*Exception|Failed|Not Run|\*\*\*Not Run)")
LINE = re.compile(r"^(\d+): (.*)$")
OK = re.compile(r"^\[       OK \] \S+ \(\d+ ms\)")
FAILED = re.compile(r"^\[  FAILED  \] \S+.* \(\d+ ms\)$")
SKIPPED = re.compile(r"^\[  SKIPPED \] (\S+) \(\d+ ms\)$")
# The Wine runner's mark before its second run of a program it took for hung
# (scripts/wine-run.sh): only the run after the last such mark counts.
RERUN = re.compile(r"^=== wine-run: \S+ run again after a hang$")


def runs(lines):
    """The output of each run of the program: more than one when the Wine
    runner ran it again after a hang."""
    found = [[]]
    for line in lines:
        if RERUN.match(line):
            found.append([])
        else:
            found[-1].append(line)
    return found


def read_log(path):
    """The tests of a ctest -V log: {number: (name, result)}, result as CTest
    wrote it ("Passed", "***Failed", ...), and {number: [output lines]}."""
    outputs = {}
    results = {}
    with open(path, encoding="utf-8", errors="replace") as log:
        for raw in log:
            raw = raw.rstrip("\n")
            m = RESULT.match(raw)
            if m:
                results[m.group(1)] = (m.group(2), m.group(3))
                continue
            m = LINE.match(raw)
            if m:
                outputs.setdefault(m.group(1), []).append(m.group(2))
    return results, outputs


def main():
    label, path = sys.argv[1], sys.argv[2]
    results, outputs = read_log(path)
    passed = failed = 0
    failures = []
    rerun = []
    skipped = []
    for number, (name, result) in sorted(results.items(), key=lambda kv: int(kv[0])):
        ok = result == "Passed"
        program_runs = runs(outputs.get(number, []))
        if len(program_runs) > 1:
            rerun.append(name)
        lines = program_runs[-1]
        cases_ok = sum(1 for line in lines if OK.match(line))
        cases_failed = sum(1 for line in lines if FAILED.match(line))
        skipped += [m.group(1) for m in map(SKIPPED.match, lines) if m]
        if cases_ok or cases_failed:
            passed += cases_ok
            failed += cases_failed
            if not ok and cases_failed == 0:
                failed += 1
                failures.append(name + " (the program failed outside its cases)")
            elif cases_failed:
                failures.append("%s (%d of its cases)" % (name, cases_failed))
        elif ok:
            passed += 1
        else:
            failed += 1
            failures.append(name)
    if failures:
        print("%s: failed: %s" % (label, ", ".join(failures)))
    if rerun:
        print("%s: hung, ended with the prefix's processes, run again: %s" % (label, ", ".join(rerun)))
    line = "%s: %d passed, %d failed" % (label, passed, failed)
    if skipped:
        line += ", %d skipped (%s)" % (len(skipped), ", ".join(skipped))
    print(line)
    return 0


if __name__ == "__main__":
    sys.exit(main())
