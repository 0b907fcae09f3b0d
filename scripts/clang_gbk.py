#!/usr/bin/env python3
"""Compiler launcher that gives clang the GBK string literals g++ makes.

The sources are UTF-8 and every ordinary string and character literal must
become GBK bytes in the program (g++: -fexec-charset=GBK). clang accepts only
UTF-8 as execution character set, so for a compile step that asks for GBK this
launcher preprocesses the source first (dependency file included), converts
the non-ASCII characters of every unprefixed literal to GBK with the C
library's converter (the one g++ uses), and compiles the result as
preprocessed source. Prefixed literals (L, u, U, u8) keep their own encoding.
Any other command is run unchanged.

Usage: clang_gbk.py <compiler> <arguments...>  (CMake's compiler launcher)
"""
import os
import subprocess
import sys
import tempfile

CHARSET_FLAGS = ("-fexec-charset=GBK", "-finput-charset=UTF-8")
SOURCE_SUFFIXES = (".cpp", ".cc", ".cxx", ".c")
IDENT = set("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_")
NARROW_PREFIXES = ("", "R")
ALL_PREFIXES = ("", "R", "L", "u", "U", "u8", "LR", "uR", "UR", "u8R")


def run(cmd):
    return subprocess.call(cmd)


def literal_spans(text):
    """Yields (begin, end) of the body of every narrow literal in text."""
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if c not in "\"'":
            i += 1
            continue
        j = i
        while j > 0 and text[j - 1] in IDENT:
            j -= 1
        prefix = text[j:i]
        if c == "'" and prefix not in ALL_PREFIXES:
            i += 1  # a digit separator (1'000) or the end of an identifier
            continue
        if prefix not in ALL_PREFIXES:
            prefix = ""  # e.g. a macro name glued to a literal: the literal is plain
        if c == '"' and prefix.endswith("R"):
            k = text.find("(", i + 1)
            if k < 0:
                return
            closing = ")" + text[i + 1:k] + '"'
            end = text.find(closing, k + 1)
            if end < 0:
                return
            if prefix in NARROW_PREFIXES:
                yield (k + 1, end)
            i = end + len(closing)
            continue
        k = i + 1
        while k < n and text[k] != c and text[k] != "\n":
            k += 2 if text[k] == "\\" else 1
        if prefix in NARROW_PREFIXES:
            yield (i + 1, min(k, n))
        i = k + 1


def to_gbk(chars):
    """GBK bytes of each character, through iconv (as g++ converts)."""
    joined = "\n".join(chars).encode("utf-8")
    out = subprocess.run(["iconv", "-f", "UTF-8", "-t", "GBK"], input=joined, capture_output=True)
    if out.returncode != 0:
        sys.stderr.write("clang_gbk: a literal holds a character GBK lacks: %s\n" % out.stderr.decode(errors="replace"))
        sys.exit(1)
    parts = out.stdout.split(b"\n")
    return dict(zip(chars, parts))


def transcode(data):
    text = data.decode("utf-8", errors="surrogateescape")
    spans = [s for s in literal_spans(text) if any(ord(ch) > 0x7F for ch in text[s[0]:s[1]])]
    if not spans:
        return data
    wanted = sorted({ch for b, e in spans for ch in text[b:e] if 0x7F < ord(ch) < 0xDC80 or ord(ch) > 0xDCFF})
    table = to_gbk(wanted) if wanted else {}
    out = bytearray()
    last = 0
    for b, e in spans:
        out += text[last:b].encode("utf-8", errors="surrogateescape")
        for ch in text[b:e]:
            out += table[ch] if ch in table else ch.encode("utf-8", errors="surrogateescape")
        last = e
    out += text[last:].encode("utf-8", errors="surrogateescape")
    return bytes(out)


def main(argv):
    if len(argv) < 2:
        sys.stderr.write("usage: clang_gbk.py <compiler> <arguments...>\n")
        return 2
    compiler, args = argv[1], argv[2:]
    if "-fexec-charset=GBK" not in args or "-c" not in args:
        return run([compiler] + [a for a in args if a not in CHARSET_FLAGS])
    sources = [k for k, a in enumerate(args) if a.endswith(SOURCE_SUFFIXES) and os.path.isfile(a)]
    if len(sources) != 1:
        sys.stderr.write("clang_gbk: expected one source file in %r\n" % args)
        return 2
    src_at = sources[0]
    language = "cpp-output" if args[src_at].endswith(".c") else "c++-cpp-output"
    with tempfile.TemporaryDirectory(prefix="clang_gbk.") as tmp:
        pre = os.path.join(tmp, "unit.i")
        pp, cc = [], []
        k = 0
        while k < len(args):
            a = args[k]
            if a in CHARSET_FLAGS:
                k += 1
                continue
            if a == "-o" and k + 1 < len(args):
                pp += ["-o", pre]
                cc += ["-o", args[k + 1]]
                k += 2
                continue
            if a == "-c":
                pp.append("-E")
                cc.append("-c")
                k += 1
                continue
            if a in ("-MT", "-MF", "-MQ") and k + 1 < len(args):
                pp += [a, args[k + 1]]  # dependencies come from the preprocessing step
                k += 2
                continue
            if a in ("-MD", "-MMD", "-MP"):
                pp.append(a)
                k += 1
                continue
            if k == src_at:
                pp.append(a)
                cc += ["-x", language, os.path.join(tmp, "unit.gbk.i")]
                k += 1
                continue
            pp.append(a)
            cc.append(a)
            k += 1
        rc = run([compiler] + pp)
        if rc != 0:
            return rc
        with open(pre, "rb") as f:
            data = f.read()
        with open(os.path.join(tmp, "unit.gbk.i"), "wb") as f:
            f.write(transcode(data))
        return run([compiler] + cc + ["-Wno-invalid-source-encoding", "-Wno-unused-command-line-argument"])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
