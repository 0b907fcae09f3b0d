#!/usr/bin/env python3
"""Writes a complete 32-bit Windows image of an exact size, for downloads the
updater has to accept:  make_image.py OUT SIZE

The image has the DOS header, the PE header, one section whose raw data
fills the file from 0x200 to the end, and zeros elsewhere."""
import struct
import sys


def image(size):
    headers = 0x200
    assert size > headers
    dos = b"MZ" + bytes(0x3A) + struct.pack("<I", 0x40)
    file_header = struct.pack("<HHIIIHH", 0x14C, 1, 0, 0, 0, 0xE0, 0x0102)
    optional = bytearray(0xE0)
    struct.pack_into("<H", optional, 0, 0x10B)             # PE32
    struct.pack_into("<I", optional, 16, 0x1000)           # entry point
    struct.pack_into("<I", optional, 28, 0x400000)         # image base
    struct.pack_into("<II", optional, 32, 0x1000, 0x200)   # section and file alignment
    struct.pack_into("<H", optional, 48, 4)                # subsystem version
    struct.pack_into("<I", optional, 56, 0x1000 + ((size - headers + 0xFFF) & ~0xFFF))  # image size
    struct.pack_into("<I", optional, 60, headers)          # size of headers
    struct.pack_into("<H", optional, 68, 2)                # GUI
    struct.pack_into("<I", optional, 92, 16)               # data directories
    section = struct.pack("<8sIIII12xI", b".data", size - headers, 0x1000, size - headers, headers, 0xC0000040)
    head = dos + b"PE\0\0" + file_header + bytes(optional) + section
    return head + bytes(headers - len(head)) + bytes(size - headers)


if __name__ == "__main__":
    with open(sys.argv[1], "wb") as f:
        f.write(image(int(sys.argv[2])))
