#!/usr/bin/env python3
"""Reads what the built program and library tell the system about themselves:
the processor of the image, the version resource and the application
manifest, straight from the files' resource directories, and checks them.

    pe_resources.py x86|x64 Clipdex.exe Updata.dll

One line per check ("ok: ..." or "FAILED: ..."); exit code 1 when any failed.
"""

import struct
import sys
import xml.etree.ElementTree as ET

PRODUCT = "Clipdex视频地址批量获取工具"
VERSION = "1.0.0.0"
RT_VERSION, RT_MANIFEST = 16, 24
MACHINES = {"x86": 0x14C, "x64": 0x8664}
MANIFEST_ARCHITECTURES = {"x86": "x86", "x64": "amd64"}
VFT_APP, VFT_DLL = 1, 2
SUPPORTED_OS = {
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # Windows 7
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # Windows 8
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # Windows 8.1
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}",  # Windows 10 and 11
}


class Image:
    """A PE file: its machine and its resources as {(type, name): data}."""

    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        d = self.data
        if d[:2] != b"MZ":
            raise ValueError("no MZ header")
        pe = struct.unpack_from("<I", d, 0x3C)[0]
        if d[pe:pe + 4] != b"PE\0\0":
            raise ValueError("no PE header")
        self.machine, sections, _, _, _, optional_size, _ = struct.unpack_from("<HHIIIHH", d, pe + 4)
        optional = pe + 24
        magic = struct.unpack_from("<H", d, optional)[0]
        directories = optional + (96 if magic == 0x10B else 112)
        self.sections = []
        table = optional + optional_size
        for i in range(sections):
            vsize, va, raw_size, raw_at = struct.unpack_from("<IIII", d, table + 40 * i + 8)
            self.sections.append((va, max(vsize, raw_size), raw_at))
        rva, size = struct.unpack_from("<II", d, directories + 2 * 8)  # the resource directory
        self.resources = {}
        if rva and size:
            self._walk(self.offset(rva), self.offset(rva), [])

    def offset(self, rva):
        for va, size, raw_at in self.sections:
            if va <= rva < va + size:
                return raw_at + rva - va
        raise ValueError("address %#x outside every section" % rva)

    def _walk(self, root, table, path):
        d = self.data
        named, numbered = struct.unpack_from("<HH", d, table + 12)
        for i in range(named + numbered):
            name, target = struct.unpack_from("<II", d, table + 16 + 8 * i)
            if name & 0x80000000:
                at = root + (name & 0x7FFFFFFF)
                n = struct.unpack_from("<H", d, at)[0]
                key = d[at + 2:at + 2 + 2 * n].decode("utf-16-le")
            else:
                key = name
            if target & 0x80000000:
                self._walk(root, root + (target & 0x7FFFFFFF), path + [key])
            else:  # a data entry: the leaf of type / name / language
                data_rva, data_size = struct.unpack_from("<II", d, root + target)
                at = self.offset(data_rva)
                self.resources[(path[0], path[1])] = d[at:at + data_size]

    def of_type(self, kind):
        return {name: data for (t, name), data in self.resources.items() if t == kind}


def version_info(block):
    """(VS_FIXEDFILEINFO fields, {string name: value}) of a VS_VERSIONINFO block."""
    def node(at):
        length, value_length, kind = struct.unpack_from("<HHH", block, at)
        end = block.index(b"\0\0", at + 6)
        while (end - (at + 6)) % 2:
            end = block.index(b"\0\0", end + 1)
        key = block[at + 6:end].decode("utf-16-le")
        value_at = (end + 2 + 3) & ~3
        return length, value_length, kind, key, value_at

    length, value_length, _, key, value_at = node(0)
    if key != "VS_VERSION_INFO":
        raise ValueError("not a version resource: %r" % key)
    fixed = struct.unpack_from("<13I", block, value_at)
    strings = {}

    def children(at, end):
        while at < end:
            n_length, n_value_length, n_kind, n_key, n_value_at = node(at)
            yield at, n_length, n_value_length, n_kind, n_key, n_value_at
            at = (at + n_length + 3) & ~3

    for _, c_length, _, _, c_key, c_value_at in children((value_at + value_length + 3) & ~3, length):
        if c_key != "StringFileInfo":
            continue
        for t_at, t_length, _, _, _, t_value_at in children(c_value_at, c_value_at + c_length):
            table_end = t_at + t_length
            for _, _, s_value_length, _, s_key, s_value_at in children(t_value_at, table_end):
                strings[s_key] = block[s_value_at:s_value_at + 2 * s_value_length].decode("utf-16-le").rstrip("\0")
    return fixed, strings


def main():
    arch, program, library = sys.argv[1:4]
    failed = []

    def check(what, ok, detail=""):
        print(("ok: " if ok else "FAILED: ") + what + ("" if ok or not detail else " (%s)" % detail))
        if not ok:
            failed.append(what)

    files = [(program, "Clipdex.exe", VFT_APP), (library, "Updata.dll", VFT_DLL)]
    manifests = {}
    for path, name, file_type in files:
        image = Image(path)
        check("%s is built for %s" % (name, arch), image.machine == MACHINES[arch], "machine %#x" % image.machine)
        versions = image.of_type(RT_VERSION)
        check("%s has one version resource" % name, len(versions) == 1, "%d" % len(versions))
        if versions:
            fixed, strings = version_info(next(iter(versions.values())))
            check("%s: fixed file and product version 1.0.0.0" % name,
                  fixed[0] == 0xFEEF04BD and fixed[2:6] == (0x10000, 0, 0x10000, 0), str(fixed[2:6]))
            check("%s: file type" % name, fixed[9] == file_type, str(fixed[9]))
            for key, want in (("ProductName", PRODUCT), ("ProductVersion", VERSION), ("FileVersion", VERSION),
                              ("OriginalFilename", name)):
                check("%s: %s is %s" % (name, key, want), strings.get(key) == want, repr(strings.get(key)))
            check("%s: FileDescription names the product" % name, PRODUCT in strings.get("FileDescription", ""),
                  repr(strings.get("FileDescription")))
        manifests[name] = image.of_type(RT_MANIFEST)

    # The program's application manifest; the library has none of its own, so
    # its window looks as the program's do.
    check("Updata.dll carries no manifest", not manifests["Updata.dll"], str(sorted(manifests["Updata.dll"])))
    ids = sorted(manifests["Clipdex.exe"])
    check("Clipdex.exe carries one application manifest (id 1)", ids == [1], str(ids))
    if 1 not in manifests["Clipdex.exe"]:
        return 1
    text = manifests["Clipdex.exe"][1].decode("utf-8")
    ns = {"v1": "urn:schemas-microsoft-com:asm.v1", "v3": "urn:schemas-microsoft-com:asm.v3",
          "c": "urn:schemas-microsoft-com:compatibility.v1"}
    root = ET.fromstring(text)
    identity = root.find("v1:assemblyIdentity", ns)
    check("manifest: processor architecture %s" % MANIFEST_ARCHITECTURES[arch],
          identity is not None and identity.get("processorArchitecture") == MANIFEST_ARCHITECTURES[arch],
          identity is not None and identity.get("processorArchitecture"))
    check("manifest: version 1.0.0.0", identity is not None and identity.get("version") == VERSION)
    levels = [e.get("level") for e in root.iter("{%s}requestedExecutionLevel" % ns["v3"])]
    check("manifest: runs as invoker", levels == ["asInvoker"], str(levels))
    oses = {e.get("Id").lower() for e in root.iter("{%s}supportedOS" % ns["c"])}
    check("manifest: supported systems Windows 7 to Windows 11", oses == SUPPORTED_OS, str(sorted(oses)))
    local_names = [e.tag.rsplit("}", 1)[-1].lower() for e in root.iter()]
    check("manifest: no dependency, so no common-controls one (the classic look stays)",
          "dependency" not in local_names, str(local_names))
    check("manifest: no DPI declaration (the system's scaling stays)",
          not any(n.startswith("dpi") for n in local_names), str(local_names))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
