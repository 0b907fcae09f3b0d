#!/usr/bin/env python3
"""End-to-end cases: the real Clipdex.exe against the demo site.

    run_e2e.py CASE --program Clipdex.exe --driver e2e_driver.exe --work DIR
    run_e2e.py demo [--interactive] --program ... --driver ... --work DIR

The demo serves the same site: with --interactive the program opens on
$DISPLAY for the user; otherwise the driver fetches the demo channel on a
display of its own and a picture of the filled window is written to
DIR/clipdex-demo.png.

Each case runs in a network namespace of its own (tests/fixture/run_in_netns.sh)
with the demo site's server, a Wine prefix of its own (a linked copy of one
made once per build tree), its own Xvfb display and a copy of the program.
The driver does what a user does and prints what the window shows; the case
compares that, and the server's request log, with what the channel holds.
"""

import argparse
import collections
import fcntl
import hashlib
import os
import select
import shutil
import signal
import subprocess
import sys
import time
import unicodedata

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
FIXTURE = os.path.join(ROOT, "tests", "fixture")
sys.path.insert(0, os.path.join(FIXTURE, "site"))

import clipdex_site as site  # noqa: E402

G = lambda s: s.encode("gbk")  # noqa: E731  texts of the program are GBK bytes

UPDATE_BOX = G("当前为最新版本：V1.0")
FETCH, STOP = G("获取"), G("停止")
DONE = G("已经全部获取")
ALL_STOPPED = G("已停止全部线程")
STOPPING = G("正在停止线程,请稍等...")
TIDYING = G("信息已加载完毕,正在整理信息...")
FETCH_FAILED = G("获取失败,列表可能不完整")
EXPORT_OK, EXPORT_CANCELLED = G("导出成功"), G("账号导出失败")

USER_AGENT = ("Mozilla/4.0 (compatible; MSIE 8.0; Windows NT 5.1; SV1; .NET CLR 2.0.50727) ZovedUVUV")
ACCEPT = ("image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-shockwave-flash, "
          "application/vnd.ms-excel, application/vnd.ms-powerpoint, application/msword, */*")
# What the transport itself may add to the program's four lines.
TRANSPORT_HEADERS = {"host", "connection", "cache-control", "pragma", "cookie"}


class Failure(Exception):
    pass


def check(cond, what):
    if not cond:
        raise Failure(what)


def hx(text):
    return "hex:" + (text.encode("gbk") if isinstance(text, str) else text).hex()


# --- driver output ------------------------------------------------------------------

class Transcript:
    """The driver's lines, decoded: boxes, states, rows, exit code, errors."""

    def __init__(self, out):
        self.lines = out.decode("latin-1").splitlines()
        self.events = []  # ("box", text, main_visible) | ("ready",) | ("state", dict) | ("rows", [rows]) | ...
        for line in self.lines:
            parts = line.split(" ")
            kind = parts[0]
            if kind == "rows":
                self.events.append(("rows", []))
            elif kind == "row":
                self.events[-1][1].append(tuple(unhex(p) for p in parts[1:4]))
            elif kind == "box":
                self.events.append(("box", unhex(parts[1]), parts[2] == "main_visible=1"))
            elif kind == "ready":
                self.events.append(("ready",))
            elif kind == "state":
                fields = dict(p.split("=", 1) for p in parts[1:])
                for k in ("button", "progress", "stop"):
                    fields[k] = unhex(fields[k])
                for k in ("enabled", "progress_visible", "stop_visible", "user", "channel", "url", "rows"):
                    fields[k] = int(fields[k])
                self.events.append(("state", fields))
            elif kind == "exit":
                self.events.append(("exit", int(parts[1])))
            elif kind == "timed":
                self.events.append(("timed", float(parts[1])))
            elif kind == "memory":
                self.events.append(("memory", dict((k, int(v)) for k, v in (p.split("=", 1) for p in parts[1:]))))
            elif kind == "error":
                self.events.append(("error", line[6:]))

    def of(self, kind):
        return [e for e in self.events if e[0] == kind]

    def states(self):
        return [e[1] for e in self.of("state")]

    def row_lists(self):
        return [e[1] for e in self.of("rows")]

    def boxes(self):
        return [(e[1], e[2]) for e in self.of("box")]


def unhex(s):
    return b"" if s == "-" else bytes.fromhex(s)


# --- request log ----------------------------------------------------------------------

class Request:
    def __init__(self, scheme, port, raw, at):
        head = raw.split(b"\r\n\r\n", 1)[0].decode("latin-1")
        lines = head.split("\r\n")
        self.scheme, self.port = scheme, port
        self.time = at  # arrival, seconds since the epoch
        self.line = lines[0]
        self.method, self.target, self.version = (self.line.split(" ") + ["", "", ""])[:3]
        self.header_lines = lines[1:]

    def header(self, name):
        for line in self.header_lines:
            n, _, v = line.partition(":")
            if n.strip().lower() == name.lower():
                return v.strip()
        return None


def read_log(path):
    data = open(path, "rb").read()
    out, pos = [], 0
    while True:
        start = data.find(b"=== REQUEST ", pos)
        if start < 0:
            return out
        eol = data.index(b"\n", start)
        _, _, seq, scheme, port, length, at = data[start:eol].decode().split(" ")
        raw = data[eol + 1: eol + 1 + int(length)]
        out.append(Request(scheme, int(port), raw, float(at)))
        pos = eol + 1 + int(length)


def site_requests(log):
    return [r for r in log if r.header("Host") == site.SITE_HOST]


def check_page_request(req, path):
    """A page request carries exactly the program's four header lines."""
    address = site.SITE + path
    check(req.line == "GET %s HTTP/1.1" % path, "request line %r, wanted GET %s" % (req.line, path))
    check(req.scheme == "https" and req.port == 443, "%s went to %s:%d" % (path, req.scheme, req.port))
    own = [line for line in req.header_lines if line.split(":")[0].strip().lower() not in TRANSPORT_HEADERS]
    wanted = ["User-Agent: " + USER_AGENT, "Accept: " + ACCEPT, "Referer: " + address, "Accept-Language: zh-cn"]
    hosts = [line for line in req.header_lines if line.lower().startswith("host:")]
    check(hosts == ["Host: " + site.SITE_HOST], "Host lines of %s: %r" % (path, hosts))
    check(own == wanted, "header lines of %s:\n  %s\nwanted\n  %s" % (path, "\n  ".join(own), "\n  ".join(wanted)))


def check_site_paths(log, paths):
    got = [r.target for r in site_requests(log)]
    check(got == paths, "site requests\n  %s\nwanted\n  %s" % ("\n  ".join(got), "\n  ".join(paths)))


# --- common checks -------------------------------------------------------------------------

def check_start(t):
    """The update box comes first, while the window is still hidden, then the window."""
    boxes = t.boxes()
    check(boxes, "no message box at start")
    first = t.events[0]
    check(first[0] == "box", "first event is %r, not the update box" % (first,))
    check(first[1] == UPDATE_BOX, "start-up box reads %r" % first[1].decode("gbk", "replace"))
    check(not first[2], "the window was visible while the start-up box was up")
    check(t.events[1] == ("ready",), "the window was not ready after the start-up box")


def check_version_request(log):
    reqs = [r for r in log if r.header("Host") == site.MAKER_HOST]
    check(len(reqs) == 1, "%d version-file requests at start" % len(reqs))
    check(reqs[0].target == site.VERSION_PATH and reqs[0].scheme == "http", "version file read as %r" % reqs[0].line)


def check_exit(t):
    exits = t.of("exit")
    check(exits and exits[-1][1] == 0, "exit code %r after closing the window" % (exits,))


def check_rows(rows, wanted, what):
    check(len(rows) == len(wanted), "%s: %d rows, wanted %d" % (what, len(rows), len(wanted)))
    for i, (got, exp) in enumerate(zip(rows, wanted)):
        check(got == exp, "%s: row %d is %r, wanted %r" % (what, i, got, exp))


def check_idle(state, progress, what):
    check(state["button"] == FETCH and state["enabled"] == 1,
          "%s: button %r enabled=%d" % (what, state["button"].decode("gbk", "replace"), state["enabled"]))
    check(state["progress_visible"] == 1 and state["stop_visible"] == 0, "%s: the progress label is not the one shown" % what)
    check(state["progress"] == progress, "%s: progress label reads %r, wanted %r"
          % (what, state["progress"].decode("gbk", "replace"), progress.decode("gbk")))


def select_user(name):
    # The User box is already checked: the first click clears it, the second builds the address.
    return ["type:" + name, "click:user", "click:user"]


# --- the cases ---------------------------------------------------------------------------------
# Each: steps for the driver, and a check of (transcript, log).

def case_three_pages():
    ch = site.channel("sanye")
    steps = ["start"] + select_user(ch.name) + ["state", "run", "state", "rows", "close"]

    def verify(t, log):
        before, after = t.states()
        check((before["user"], before["channel"], before["url"]) == (1, 0, 0), "option boxes after two clicks")
        check_rows(t.row_lists()[0], site.expected_rows(ch), "three pages")
        check_idle(after, DONE, "after the run")
        paths = [ch.page_path(i) for i in range(3)]
        check_site_paths(log, paths)
        for req, path in zip(site_requests(log), paths):
            check_page_request(req, path)
    return steps, verify


def case_url_mode():
    ch = site.channel("UCthreePagesEnglish01")
    # Typing after the address was built changes nothing: the run asks for the built one.
    steps = ["start", "type:" + site.SITE + ch.listing_path, "click:url", "type:typed-afterwards", "state", "run",
             "state", "rows", "close"]

    def verify(t, log):
        before, after = t.states()
        check((before["user"], before["channel"], before["url"]) == (0, 0, 1), "option boxes in Url mode")
        check_rows(t.row_lists()[0], site.expected_rows(ch), "address typed in Url mode")
        check_idle(after, DONE, "after the run")
        check_site_paths(log, [ch.page_path(i) for i in range(3)])
    return steps, verify


def release_step(work):
    """The driver's step that lets the held continuation answer go."""
    return "touch:" + hx(dos_path(os.path.join(work, "release")))


def case_stop_during_second_page(work):
    ch = site.channel("slowpoke")
    second = ch.page_path(1)
    # The second page's answer is held until the stop has been seen.
    steps = ["start"] + select_user(ch.name) + [
        "click:fetch", "wait-running", "wait-log:1:" + hx("GET " + second + " "),
        "click:fetch", "wait-button:0:" + hx(FETCH), "state", release_step(work), "wait-idle", "state", "rows"] + \
        select_user("trio") + ["run", "state", "close"]

    def verify(t, log):
        stopping, after, next_run = t.states()
        check(stopping["stop_visible"] == 1 and stopping["progress_visible"] == 0, "stop label not shown on stop")
        check(stopping["stop"] == STOPPING, "stop label reads %r" % stopping["stop"].decode("gbk", "replace"))
        check_rows(t.row_lists()[0], site.expected_rows(ch, pages=2), "stopped during the second page")
        check(after["button"] == FETCH and after["enabled"] == 1, "button not restored after the stop")
        check(after["stop_visible"] == 1 and after["stop"] == ALL_STOPPED,
              "stop label after the run: %r" % after["stop"].decode("gbk", "replace"))
        # The stop label stays until the next run, which shows the progress label again.
        check_idle(next_run, DONE, "the run after the stopped one")
        check_site_paths(log, [ch.page_path(0), second, site.channel("trio").page_path(0)])
    return steps, verify


def case_empty_first_page():
    full, empty = site.channel("trio"), site.channel("UCnothingHere0000000")
    steps = ["start"] + select_user(full.name) + ["run", "rows", "type:" + empty.name, "click:channel",
                                                  "run", "state", "rows", "close"]

    def verify(t, log):
        filled, emptied = t.row_lists()
        check_rows(filled, site.expected_rows(full), "the run before")
        check_rows(emptied, [], "a first page without tiles")
        (state,) = t.states()
        check_idle(state, TIDYING, "after a page without tiles")
        check((state["user"], state["channel"]) == (0, 1), "Channel box not the checked one")
        check_site_paths(log, [full.page_path(0), empty.page_path(0)])
    return steps, verify


def check_repeat_gap(log, path):
    """The two requests of path lie one wait (2000 ms) apart."""
    times = [r.time for r in site_requests(log) if r.target == path]
    check(len(times) == 2, "%s asked %d times, wanted twice" % (path, len(times)))
    gap = times[1] - times[0]
    check(1.9 <= gap <= 4.0, "%s repeated %.2f s after the first request, wanted about 2 s" % (path, gap))


# One run of one channel, typed as a user name: the rows it lists, the
# progress text after it and the pages it asks for, in order.
OneRun = collections.namedtuple("OneRun", [
    "channel",
    "pages",        # pages whose rows are listed (None: every page)
    "rows_are",     # what those rows are, for the messages
    "progress",     # the progress label's text after the run
    "after",        # what the run came to, for the messages
    "asked",        # page numbers in the order asked, or a function of the channel giving them
    "repeat_gap",   # each page asked twice is asked again one wait after the first time
])


def each_page_twice(ch):
    return [i for i in range(len(ch.pages)) for _ in (0, 1)]


ONE_RUN_CASES = {
    # Asked three times in all, then given up; nothing further.
    "persistent_503": OneRun("down503", 1, "continuation that keeps failing", FETCH_FAILED,
                             "after the failed continuation", [0, 1, 1, 1], False),
    "single_503": OneRun("once503", None, "continuation that failed once", DONE,
                         "after the repeated continuation", [0, 1, 1], False),
    "loop_back": OneRun("circle", None, "continuation leading back", DONE, "after the loop was seen", [0, 1, 2], False),
    "reset_before_status": OneRun("resetfirst", None, "listing page reset before its status line once", DONE,
                                  "after the repeated listing page", [0, 0, 1], True),
    # Every page of these channels arrives cut short once, whole on the repeat.
    "cut_short_listing_first": OneRun("cutshort", None, "pages cut short once", DONE, "after the repeated pages",
                                      each_page_twice, True),
    "reset_midway_listing_first": OneRun("resetmid", None, "pages cut short once", DONE, "after the repeated pages",
                                         each_page_twice, True),
    "always_cut_short": OneRun("alwayscut", 1, "continuation always cut short", FETCH_FAILED,
                               "after the continuation that never came whole", [0, 1, 1, 1], False),
    "marker_words_without_address": OneRun("wordsonly", None, "last page with the marker words in a title", DONE,
                                           "after the last page", [0, 1], False),
    # Chunked pages cut before their closing chunk, once each: the listing
    # page and a continuation inside a chunk, a continuation after a whole one.
    "chunked_cut_once": OneRun("chunkcut", None, "chunked pages cut short once", DONE, "after the repeated pages",
                               each_page_twice, True),
    "chunked_always_cut": OneRun("chunkalways", 1, "chunked continuation always cut short", FETCH_FAILED,
                                 "after the continuation that never came whole", [0, 1, 1, 1], False),
}


def one_run_case(case):
    ch = site.channel(case.channel)
    steps = ["start"] + select_user(ch.name) + ["run", "state", "rows", "close"]
    asked = [ch.page_path(i) for i in (case.asked(ch) if callable(case.asked) else case.asked)]

    def verify(t, log):
        check_rows(t.row_lists()[0], site.expected_rows(ch, pages=case.pages), case.rows_are)
        check_idle(t.states()[0], case.progress, case.after)
        check_site_paths(log, asked)
        if case.repeat_gap:
            for path in dict.fromkeys(p for p in asked if asked.count(p) == 2):
                check_repeat_gap(log, path)
    return steps, verify


def case_export(work):
    ch = site.channel("trio")
    target = os.path.join(work, "links")
    dos = dos_path(target)
    steps = ["start"] + select_user(ch.name) + ["run", "run", "rows", "save:" + hx(dos), "save-cancel", "close"]

    def verify(t, log):
        (rows,) = t.row_lists()
        check_rows(rows, site.expected_rows(ch), "second run of the same channel")
        boxes = [b[0] for b in t.boxes()]
        check(boxes == [UPDATE_BOX, EXPORT_OK, EXPORT_CANCELLED],
              "message boxes: %r" % [b.decode("gbk", "replace") for b in boxes])
        data = open(target + ".txt", "rb").read()
        check(data == b"".join(r[2] + b"\r\n" for r in site.expected_rows(ch)), "export file holds %r" % data)
        check(not os.path.exists(target), "the chosen name was written without its .txt")
        check_site_paths(log, [ch.page_path(0)] * 2)
    return steps, verify


def case_close_during_run(work):
    ch = site.channel("slowpoke")
    second = ch.page_path(1)
    steps = ["start"] + select_user(ch.name) + ["click:fetch", "wait-running", "wait-log:1:" + hx("GET " + second + " "),
                                                "close", release_step(work)]

    def verify(t, log):
        # The driver saw the program's process end before it let the held
        # answer go, and only that answer names the third page: the log as it
        # stands holds every request the run made.
        check_site_paths(log, [ch.page_path(0), second])
    return steps, verify


def case_large_channel():
    """Ten pages of 1 000 videos: every row right, and the figures of the run
    (its length against the waits the program must make, its memory) printed.
    The figures are not judged here: scripts/bench.sh shows them."""
    ch = site.large_channel()
    steps = ["start"] + select_user(ch.name) + ["memory", "timed-run", "memory", "state", "rows", "close"]
    # The waits of 2 s the program makes: before and after the listing page's
    # rows, then before each further request, after its decoding and after
    # its rows.
    waits = 2.0 * (2 + 3 * (len(ch.pages) - 1))

    def verify(t, log):
        check_rows(t.row_lists()[0], site.expected_rows(ch), "ten pages of 1 000 videos")
        check_idle(t.states()[0], DONE, "after the run")
        check_site_paths(log, [ch.page_path(i) for i in range(len(ch.pages))])
        (ms,) = [e[1] for e in t.of("timed")]
        idle, after = [e[1] for e in t.of("memory")]
        mb = 1024.0 * 1024.0
        print("FIGURES %d videos in %d pages: run %.1f s against %.1f s of waits, ratio %.3f; "
              "working set %.1f MB before the run, %.1f MB after it, peak %.1f MB"
              % (len(t.row_lists()[0]), len(ch.pages), ms / 1000.0, waits, ms / 1000.0 / waits,
                 idle["working_set"] / mb, after["working_set"] / mb, after["peak"] / mb))
    return steps, verify


def case_gzip_bomb():
    """A continuation that inflates to 256 MiB: given up at the cap each time,
    asked three times in all, the rows before it kept; the program's working
    set before the run, at its peak and after it printed (scripts/bench.sh
    shows them; they are not judged here). A run of another channel comes
    first, so that what the first secure request sets up once is in the
    level before."""
    ch, warm = site.channel("gzipbomb"), site.channel("trio")
    steps = ["start"] + select_user(warm.name) + ["run"] + select_user(ch.name) + \
        ["memory", "run", "memory", "state", "rows", "close"]

    def verify(t, log):
        check_rows(t.row_lists()[0], site.expected_rows(ch, pages=1), "continuation that is a gzip bomb")
        check_idle(t.states()[0], FETCH_FAILED, "after the bomb")
        check_site_paths(log, [warm.page_path(0)] + [ch.page_path(i) for i in (0, 1, 1, 1)])
        before, after = [e[1] for e in t.of("memory")]
        mb = 1024.0 * 1024.0
        print("FIGURES gzip bomb of %d MiB on a continuation page: working set %.1f MB before the run, peak %.1f MB, "
              "%.1f MB after it (%+.1f MB)"
              % (site.BOMB_BYTES >> 20, before["working_set"] / mb, after["peak"] / mb, after["working_set"] / mb,
                 (after["working_set"] - before["working_set"]) / mb))
    return steps, verify


def case_stall():
    """A continuation that falls silent midway for longer than the receive
    time-out: given up at the time-out and asked again after the usual wait;
    every row listed."""
    ch = site.channel("stalling")
    steps = ["start"] + select_user(ch.name) + ["run", "state", "rows", "close"]

    def verify(t, log):
        check_rows(t.row_lists()[0], site.expected_rows(ch), "continuation that stalled once")
        check_idle(t.states()[0], DONE, "after the repeated continuation")
        check_site_paths(log, [ch.page_path(i) for i in (0, 1, 1, 2)])
        first, again = [r.time for r in site_requests(log) if r.target == ch.page_path(1)]
        # The receive time-out (90 s), then the wait of 2 s; well before the
        # server would have gone on (STALL_SECONDS).
        check(91.0 <= again - first < site.STALL_SECONDS,
              "the stalled page was asked again %.1f s after the first time" % (again - first))
    return steps, verify


# Seconds the driver waits for one step where 60 are not enough: a run that
# waits out the receive time-out once.
DRIVER_TIMEOUT = {"stall": 180}

CASES = {
    "three_pages": lambda work: case_three_pages(),
    "gzip_bomb": lambda work: case_gzip_bomb(),
    "stall": lambda work: case_stall(),
    "url_mode": lambda work: case_url_mode(),
    "stop_during_second_page": case_stop_during_second_page,
    "empty_first_page": lambda work: case_empty_first_page(),
    "export": case_export,
    "close_during_run": case_close_during_run,
    "large_channel": lambda work: case_large_channel(),
}
CASES.update({name: (lambda work, case=case: one_run_case(case)) for name, case in ONE_RUN_CASES.items()})


# --- escape forms: the same rows and export with the script engine and without it ---------------
# The continuation answers of the escape forms channel hold every escape form
# the decoding reads. Without the engine (its class unregistered in the case's
# own prefix, as on a system that lacks it) the program's own decoder must
# list the same rows and export the same file. Which libraries the program
# has loaded shows which decoder ran: the engine's are there after a run with
# it and absent after a run without it.

SCRIPT_ENGINE_MODULES = {"msscript.ocx", "jscript.dll"}
SCRIPT_CONTROL_KEYS = [
    "HKLM\\Software\\Classes\\ScriptControl",
    "HKLM\\Software\\Classes\\MSScriptControl.ScriptControl",
    "HKLM\\Software\\Classes\\MSScriptControl.ScriptControl.1",
    "HKLM\\Software\\Classes\\CLSID\\{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}",
    "HKLM\\Software\\Classes\\Wow6432Node\\CLSID\\{0E59F1D5-1FBE-11D0-8FF2-00A0D10038BC}",
]


def unregister_script_control(prefix):
    """The Script Control's class made unknown in prefix (the case's own copy)."""
    env = wine_env(prefix, "")
    for key in SCRIPT_CONTROL_KEYS:
        subprocess.run([WINE, "reg", "delete", key, "/f"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=120)
    for key in SCRIPT_CONTROL_KEYS[:4]:
        found = subprocess.run([WINE, "reg", "query", key], env=env, stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, timeout=120).returncode == 0
        check(not found, "%s is still registered" % key)
    subprocess.run(["wineserver", "-w"], env=env, timeout=120)


def case_escape_forms(work, engine):
    ch = site.escape_forms_channel()
    target = os.path.join(work, "links")
    if os.path.exists(target + ".txt"):
        os.unlink(target + ".txt")
    if not engine:
        unregister_script_control(os.environ["WINEPREFIX"])
    steps = ["start"] + select_user(ch.name) + ["run", "state", "rows", "modules", "save:" + hx(dos_path(target)),
                                                "close"]
    wanted = site.escape_forms_expected_rows(ch)

    def verify(t, log):
        check_rows(t.row_lists()[0], wanted, "answers in every escape form, %s the script engine"
                   % ("with" if engine else "without"))
        check_idle(t.states()[0], DONE, "after the run")
        check_site_paths(log, [ch.page_path(i) for i in range(len(ch.pages))])
        data = open(target + ".txt", "rb").read()
        check(data == b"".join(r[2] + b"\r\n" for r in wanted), "export file holds %r" % data)
        loaded = {line.split(" ", 1)[1] for line in t.lines if line.startswith("module ")}
        check(loaded, "no module list of the program")
        if engine:
            check(SCRIPT_ENGINE_MODULES <= loaded, "the script engine's libraries were not loaded: %s"
                  % sorted(SCRIPT_ENGINE_MODULES - loaded))
        else:
            check(not SCRIPT_ENGINE_MODULES & loaded, "the script engine ran: %s loaded"
                  % sorted(SCRIPT_ENGINE_MODULES & loaded))
    return steps, verify


CASES.update({"escape_forms": lambda work: case_escape_forms(work, engine=True),
              "escape_forms_without_engine": lambda work: case_escape_forms(work, engine=False)})


# --- environment inside the namespace ---------------------------------------------------------

# The Windows architecture of the program under test picks Wine's loader: the
# 32-bit one runs only where the host runs 32-bit code, the 64-bit one runs
# on every x86-64 host.
ARCH = os.environ.get("CX_WIN_ARCH", "x86")
WINE = {"x86": "/usr/lib/wine/wine", "x64": "/usr/lib/wine/wine64"}[ARCH]
WINEARCH = {"x86": "win32", "x64": "win64"}[ARCH]


def wine_env(prefix, display):
    env = dict(os.environ)
    env.update({"WINEPREFIX": prefix, "WINEARCH": WINEARCH, "WINEDEBUG": env.get("WINEDEBUG", "-all"),
                "WINEDLLOVERRIDES": "mscoree,mshtml=", "LC_ALL": "zh_CN.UTF-8", "LANG": "zh_CN.UTF-8",
                "DISPLAY": display})
    return env


def prepared_prefix(template_root, prefix, display, frame_windows=True):
    """A fresh prefix for this case: a linked copy of a template made once.

    On a private Xvfb display no window manager runs, so Wine is told to frame
    its windows itself (frame_windows); on the user's display the manager does."""
    certs = os.environ.get("CX_FIXTURE_CERTS", "/tmp/cx-fixture-certs")
    # Made again for another test CA or another Wine: an update would rewrite linked files.
    key = hashlib.sha1(open(os.path.join(certs, "ca.crt"), "rb").read() +
                       ARCH.encode() + subprocess.run([WINE, "--version"], stdout=subprocess.PIPE).stdout).hexdigest()[:10]
    template = os.path.join(template_root, "wine-template-" + key)
    os.makedirs(template_root, exist_ok=True)
    with open(os.path.join(template_root, ".lock"), "w") as lock:
        fcntl.flock(lock, fcntl.LOCK_EX)
        if not os.path.exists(os.path.join(template, ".complete")):
            shutil.rmtree(template, ignore_errors=True)
            env = wine_env(template, display)
            subprocess.run([WINE, "wineboot", "-i"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                           timeout=300)
            # A crash must end the program, not wait behind a dialog nobody sees.
            subprocess.run([WINE, "reg", "add", "HKCU\\Software\\Wine\\WineDbg", "/v", "ShowCrashDialog",
                            "/t", "REG_DWORD", "/d", "0", "/f"], env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL, timeout=120)
            subprocess.run(["wineserver", "-w"], env=env, timeout=120)
            open(os.path.join(template, ".complete"), "w").close()
    shutil.rmtree(prefix, ignore_errors=True)
    subprocess.run(["cp", "-al", template, prefix], check=True)
    # Files Wine rewrites in place are copied, not linked.
    for name in ("system.reg", "user.reg", "userdef.reg", ".update-timestamp"):
        src = os.path.join(template, name)
        if os.path.exists(src):
            os.unlink(os.path.join(prefix, name))
            shutil.copy2(src, os.path.join(prefix, name))
    if frame_windows:
        with open(os.path.join(prefix, "user.reg"), "a", encoding="ascii") as reg:
            reg.write('\n[Software\\\\Wine\\\\X11 Driver] 1700000000\n"Managed"="N"\n')


def start_xvfb():
    r, w = os.pipe()
    proc = subprocess.Popen(["Xvfb", "-displayfd", str(w), "-screen", "0", "1280x1024x24", "-nolisten", "tcp"],
                            pass_fds=(w,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(w)
    # Xvfb writes its display number once it accepts connections.
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n"):
        left = deadline - time.monotonic()
        if left <= 0 or not select.select([r], [], [], left)[0]:
            break
        chunk = os.read(r, 16)
        if not chunk:
            break
        number += chunk
    os.close(r)
    if not number.strip():
        proc.kill()
        raise Failure("Xvfb did not start")
    return proc, ":" + number.decode().strip()


def copy_program(work, program):
    app_dir = os.path.join(work, "app")
    shutil.rmtree(app_dir, ignore_errors=True)
    os.makedirs(app_dir)
    copy = os.path.join(app_dir, "Clipdex.exe")
    shutil.copy2(program, copy)
    return copy


def dos_path(path):
    return "Z:" + path.replace("/", "\\")


def demo_interactive(args):
    display = os.environ.get("DISPLAY", "")
    prepared_prefix(args.templates, os.environ["WINEPREFIX"], display, frame_windows=False)
    program = copy_program(os.path.abspath(args.work), args.program)
    ch = site.channel("clipdexdemo")
    print("Clipdex is starting on %s. Try the user name %s (the User box is checked: click it twice after "
          "typing), or the channel %s with the Channel box. Close the window to end the demo."
          % (display, ch.name, site.channel("UCthreePagesEnglish01").name), flush=True)
    env = wine_env(os.environ["WINEPREFIX"], display)
    try:
        return subprocess.run([WINE, program], env=env, cwd=os.path.dirname(program)).returncode
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)


def padded(text, width):
    """text padded with blanks to width terminal columns (CJK characters take two)."""
    columns = sum(2 if unicodedata.east_asian_width(c) in "WF" else 1 for c in text)
    return text + " " * max(0, width - columns)


def demo_headless(args):
    work = os.path.abspath(args.work)
    ch = site.channel("clipdexdemo")
    bmp, png = os.path.join(work, "clipdex-demo.bmp"), os.path.join(work, "clipdex-demo.png")
    xvfb, display = start_xvfb()
    env = wine_env(os.environ["WINEPREFIX"], display)
    try:
        prepared_prefix(args.templates, os.environ["WINEPREFIX"], display)
        program = copy_program(work, args.program)
        steps = ["start"] + select_user(ch.name) + ["run", "state", "rows", "shot:" + hx(dos_path(bmp)), "close"]
        print("fetching the demo channel %s%s ..." % (site.SITE, ch.listing_path), flush=True)
        proc = subprocess.run([WINE, args.driver, "--timeout", "60", dos_path(program)] + steps, env=env,
                              stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=300)
        t = Transcript(proc.stdout)
        if t.of("error") or proc.returncode != 0:
            print("\n".join(t.lines))
            print("the demo failed: %s" % (t.of("error") or "driver exit code %d" % proc.returncode))
            return 1
        rows = t.row_lists()[0] if t.row_lists() else []
        for r in rows[:5] + ([None] if len(rows) > 6 else []) + rows[-1:]:
            if r is None:
                print("  ...")
                continue
            number, title, link = (x.decode("gbk") for x in r)
            print("  %4s  %s  %s" % (number, padded(title, 40), link))
        state = t.states()[0]
        print("%d videos listed; status line: %s" % (len(rows), state["progress"].decode("gbk")))
        if shutil.which("convert") and subprocess.run(["convert", bmp, png]).returncode == 0:
            os.unlink(bmp)
            print("screenshot: %s" % png)
        else:
            print("screenshot: %s" % bmp)
        return 0
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                       timeout=60)
        xvfb.terminate()
        xvfb.wait(10)


def inside(args):
    if args.case == "demo":
        return demo_interactive(args) if args.interactive else demo_headless(args)
    work = os.path.abspath(args.work)
    xvfb, display = start_xvfb()
    transcript = None
    try:
        prepared_prefix(args.templates, os.environ["WINEPREFIX"], display)
        program = copy_program(work, args.program)
        steps, verify = CASES[args.case](work)
        cmd = [WINE, args.driver, "--timeout", str(DRIVER_TIMEOUT.get(args.case, 60)), dos_path(program)] + steps
        t0 = time.time()
        proc = subprocess.run(cmd, env=wine_env(os.environ["WINEPREFIX"], display), stdout=subprocess.PIPE,
                              stderr=subprocess.PIPE, timeout=300)
        print("driver finished in %.1f s with code %d" % (time.time() - t0, proc.returncode))
        transcript = Transcript(proc.stdout)
        shown = [line for line in transcript.lines if not line.startswith("row ")]
        print("\n".join("  " + line for line in shown))
        print("  (%d row lines)" % (len(transcript.lines) - len(shown)))
        errors = transcript.of("error")
        if errors or proc.returncode != 0:
            sys.stderr.write(proc.stderr.decode("utf-8", "replace")[-3000:])
            raise Failure("driver: %s" % (errors[0][1] if errors else "exit code %d" % proc.returncode))
        log = read_log(os.environ["CX_FIXTURE_LOG"])
        check_start(transcript)
        check_version_request(log)
        verify(transcript, log)
        check_exit(transcript)
        print("PASS %s" % args.case)
        return 0
    except Failure as e:
        print("FAIL %s: %s" % (args.case, e))
        if transcript is not None:
            print("\n".join("  " + line for line in transcript.lines if line.startswith("row ")))
        return 1
    finally:
        subprocess.run(["wineserver", "-k"], env=wine_env(os.environ["WINEPREFIX"], display),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)
        xvfb.terminate()
        try:
            xvfb.wait(10)
        except subprocess.TimeoutExpired:
            xvfb.kill()


def outside(args):
    work = os.path.abspath(args.work)
    os.makedirs(work, exist_ok=True)
    name = "cx-e2e-%d" % os.getpid()
    hold = os.path.join(work, "release")
    if os.path.exists(hold):
        os.unlink(hold)
    os.environ["CX_SITE_HOLD_FILE"] = hold
    if args.case == "large_channel":
        os.environ["CX_SITE_LARGE"] = "1"  # the server makes that channel only when asked
    cmd = [os.path.join(FIXTURE, "run_in_netns.sh"), "--name", name,
           "--routes", os.path.join(FIXTURE, "site", "routes.py"), "--log", os.path.join(work, "requests.log"),
           "--prefix", os.path.join(work, "prefix"), "--timeout", "7200" if args.interactive else "400", "--",
           sys.executable, os.path.abspath(__file__), "--inside", args.case, "--program", os.path.abspath(args.program),
           "--driver", os.path.abspath(args.driver), "--work", work, "--templates", os.path.abspath(args.templates)]
    if args.interactive:
        cmd.append("--interactive")
    runner = subprocess.Popen(cmd)

    def interrupted(*_):
        raise KeyboardInterrupt
    signal.signal(signal.SIGTERM, interrupted)
    try:
        return runner.wait()
    except KeyboardInterrupt:
        # The command inside runs in a process group of its own, out of reach of
        # the terminal's interrupt: end it, and the runner removes the namespace.
        pids = subprocess.run(["ip", "netns", "pids", name], stdout=subprocess.PIPE, text=True).stdout.split()
        for pid in pids:
            try:
                os.kill(int(pid), signal.SIGTERM)
            except OSError:
                pass
        try:
            runner.wait(60)
        except subprocess.TimeoutExpired:
            runner.terminate()
            runner.wait(30)
        return 130


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("case", choices=sorted(CASES) + ["demo"])
    ap.add_argument("--interactive", action="store_true", help="demo: open the program on $DISPLAY")
    ap.add_argument("--program", required=True)
    ap.add_argument("--driver", required=True)
    ap.add_argument("--work", required=True)
    ap.add_argument("--templates", help="folder for the shared template prefix (default: beside WORK)")
    ap.add_argument("--inside", action="store_true", help=argparse.SUPPRESS)
    args = ap.parse_args()
    if not args.templates:
        args.templates = os.path.dirname(os.path.abspath(args.work))
    return inside(args) if args.inside else outside(args)


if __name__ == "__main__":
    sys.exit(main())
