#!/usr/bin/env python3
"""Prints, for each test of one verbose CTest run (ctest -V) that did not
pass or that passed only when run again after a hang, what is needed to see
why at a glance: the case that was running when it ended, its failure
messages and, for a program the Wine runner took for hung, one line per thread
of the hung processes (the functions on its stack, innermost first).

    failure_digest.py ctest.log   ->   nothing when every test passed
"""
import re
import sys

from count_tests import read_log, runs

RUN = re.compile(r"^\[ RUN      \] (\S+)")
ENDED = re.compile(r"^\[  (?:     OK|FAILED ) \] (\S+) \(\d+ ms\)")
FAILURE = re.compile(r"^(.*: Failure|.*error: .*|Expected.*|  Actual.*|Value of:.*|Which is:.*|.*still running after.*)$")
THREAD = re.compile(r"^Backtracing for thread (\w+) in process \w+ \((.*)\):")
FRAME = re.compile(r"^\s*=?>?\d+ 0x[0-9a-f]+ ([\w:~]+)[+(]")
LOCATION = re.compile(r"\[(?:[^\]]*\\)?([^\\\]]+:\d+)\] in ")
# Frames every waiting thread shows: they say nothing about why it waits.
PLUMBING = {"WaitForMultipleObjectsEx", "WaitForSingleObject", "WaitForSingleObjectEx", "BaseThreadInitThunk",
            "RtlUserThreadStart", "__wine_pop_frame", "_InterlockedCompareExchange", "spin_lock", "RtlWaitOnAddress",
            "RtlSleepConditionVariableCS", "threadpool_worker_proc", "wait_objects"}
# Wine's service processes wait in every prefix; their threads are left out.
SERVICES = {"services.exe", "plugplay.exe", "rpcss.exe", "winedevice.exe", "svchost.exe", "start.exe"}
MAX_LINES = 40


def threads(lines):
    """(process, thread, [functions]) for each backtrace in lines."""
    found = []
    for line in lines:
        m = THREAD.match(line)
        if m:
            found.append((m.group(2).split("\\")[-1], m.group(1), []))
            continue
        m = FRAME.match(line)
        if m and found and m.group(1) not in PLUMBING and len(found[-1][2]) < 8:
            # The file and line where the debugger knows them.
            where = LOCATION.search(line)
            found[-1][2].append(m.group(1) + (" (%s)" % where.group(1) if where else ""))
    return found


def digest(name, how, lines):
    out = ["--- %s: %s" % (name, how)]
    running = None
    for line in lines:
        m = RUN.match(line)
        if m:
            running = m.group(1)
        m = ENDED.match(line)
        if m and m.group(1) == running:
            running = None
    if running:
        out.append("case still running at its end: " + running)
    out += ["  " + line for line in lines if FAILURE.match(line)][:12]
    program = name.lower()
    hung = [t for t in threads(lines) if t[0].lower() not in SERVICES]
    # The test program's own threads first, then those of the other processes.
    hung.sort(key=lambda t: (not t[0].lower().startswith(program), t[0]))
    for process, tid, functions in hung:
        out.append("  %s %s: %s" % (process, tid, " < ".join(functions) or "(no frames)"))
    if len(out) > MAX_LINES:
        out = out[:MAX_LINES] + ["  ... (%d lines more in the log)" % (len(out) - MAX_LINES)]
    return out


def main():
    results, outputs = read_log(sys.argv[1])
    for number, (name, how) in sorted(results.items(), key=lambda kv: int(kv[0])):
        program_runs = runs(outputs.get(number, []))
        again = len(program_runs) > 1
        if how != "Passed":
            how = how.strip("*") + (" (its second run, after a hang)" if again else "")
            print("\n".join(digest(name, how, program_runs[-1])))
        elif again:
            # Passed when run again: what its first run was doing when taken for hung.
            print("\n".join(digest(name, "Passed when run again after a hang", program_runs[0])))
    return 0


if __name__ == "__main__":
    sys.exit(main())
