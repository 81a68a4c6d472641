#!/usr/bin/env python3
"""Post-link step of stub.exe: put the PE header at file offset 256.

A setup file is found and read from its own bytes: the stub tests "PE" at
offset 256, and the package builder writes its own data into the DOS header
area (64 letters at 144..207, the 64-bit SelfLength at 248..255). The linker
puts the PE header (signature, file header, optional header, section table)
right after its DOS stub, at 0x80 with mingw. This tool moves that header to
offset 256, points e_lfanew at it, keeps the DOS stub program in front of it
and clears everything else before 256, so that the builder's areas are zero.

It fails (exit 1) when the moved header would not fit in front of the first
section's data, or when anything in the file refers to bytes of the header
area that would move.

  pe_header_to_256.py FILE            move the header (nothing to do if already there)
  pe_header_to_256.py --check FILE [--machine 0x14c] [--subsystem 2] [--stub-resources]
                                      verify the final layout (and the stub's
                                      icon, manifest and version resources)
"""
import argparse
import os
import struct
import sys

TARGET = 256
BUILDER_LETTERS = (144, 208)  # 64 letters A-Z written by the builder
SELF_LENGTH = (248, 256)      # SelfLength high and low words
DOS_STUB_START = 0x40
E_LFANEW = 0x3C


class PEError(Exception):
    pass


def u16(b, o):
    return struct.unpack_from("<H", b, o)[0]


def u32(b, o):
    return struct.unpack_from("<I", b, o)[0]


class Header:
    """The parts of a PE header this tool needs, read at offset `at`."""

    def __init__(self, data, at):
        if len(data) < at + 24 or data[at:at + 4] != b"PE\0\0":
            raise PEError("no PE signature at offset %d" % at)
        self.at = at
        coff = at + 4
        self.machine = u16(data, coff)
        self.sections = u16(data, coff + 2)
        self.opt_size = u16(data, coff + 16)
        self.opt = coff + 20
        if len(data) < self.opt + self.opt_size:
            raise PEError("optional header runs past the end of the file")
        self.magic = u16(data, self.opt)
        if self.magic == 0x10B:
            dirs_at = 96
        elif self.magic == 0x20B:
            dirs_at = 112
        else:
            raise PEError("unknown optional header magic 0x%x" % self.magic)
        self.size_of_headers = u32(data, self.opt + 60)
        self.checksum_at = self.opt + 64
        self.subsystem = u16(data, self.opt + 68)
        count = u32(data, self.opt + dirs_at - 4)
        count = min(count, (self.opt_size - dirs_at) // 8)
        self.directories = [struct.unpack_from("<II", data, self.opt + dirs_at + 8 * i)
                            for i in range(max(count, 0))]
        self.table = self.opt + self.opt_size
        self.length = 4 + 20 + self.opt_size + 40 * self.sections
        if len(data) < at + self.length:
            raise PEError("section table runs past the end of the file")
        self.first_raw = None
        for i in range(self.sections):
            s = self.table + 40 * i
            raw_size, raw_ptr = u32(data, s + 16), u32(data, s + 20)
            if raw_size and (self.first_raw is None or raw_ptr < self.first_raw):
                self.first_raw = raw_ptr


def pe_checksum(data, checksum_at):
    total = 0
    padded = data + (b"\0" if len(data) % 2 else b"")
    for (word,) in struct.iter_unpack("<H", padded):
        total += word
        total = (total & 0xFFFF) + (total >> 16)
    # The checksum field itself counts as zero.
    for o in (checksum_at, checksum_at + 2):
        word = u16(data, o)
        total -= word
        if total < 0:
            total += 0xFFFF
    total = (total & 0xFFFF) + (total >> 16)
    total = (total & 0xFFFF) + (total >> 16)
    return (total + len(data)) & 0xFFFFFFFF


def move_header(data):
    data = bytearray(data)
    if len(data) < 0x40 or data[:2] != b"MZ":
        raise PEError("not an executable (no MZ)")
    old = u32(data, E_LFANEW)
    hdr = Header(data, old)
    new_end = TARGET + hdr.length
    if new_end > hdr.size_of_headers:
        raise PEError("header of %d bytes at %d would end at %d, past SizeOfHeaders %d"
                      % (hdr.length, TARGET, new_end, hdr.size_of_headers))
    if hdr.first_raw is not None and new_end > hdr.first_raw:
        raise PEError("header would end at %d, past the first section's data at %d"
                      % (new_end, hdr.first_raw))
    for index, (rva, size) in enumerate(hdr.directories):
        if index == 4:  # the certificate table holds a file offset, checked below
            if rva and rva < new_end:
                raise PEError("certificate table inside the header area")
            continue
        if rva and size and rva < hdr.size_of_headers:
            raise PEError("data directory %d points into the header area" % index)
    if old < DOS_STUB_START:
        raise PEError("e_lfanew %d lies inside the DOS header" % old)
    if old != TARGET:
        stub_end = min(old, TARGET)
        if any(data[BUILDER_LETTERS[0]:stub_end]):
            raise PEError("the DOS stub program reaches into the builder's area at %d"
                          % BUILDER_LETTERS[0])
        header_bytes = bytes(data[old:old + hdr.length])
        data[old:old + hdr.length] = bytes(hdr.length)
        data[stub_end:TARGET] = bytes(TARGET - stub_end)
        data[TARGET:new_end] = header_bytes
        struct.pack_into("<I", data, E_LFANEW, TARGET)
    for lo, hi in (BUILDER_LETTERS, SELF_LENGTH):
        data[lo:hi] = bytes(hi - lo)
    moved = Header(data, TARGET)
    if u32(data, moved.checksum_at):
        struct.pack_into("<I", data, moved.checksum_at, pe_checksum(bytes(data), moved.checksum_at))
    return bytes(data)


RT_GROUP_ICON, RT_VERSION, RT_MANIFEST = 14, 16, 24
MANIFEST_MUST_HAVE = (
    b'level="requireAdministrator"', b'uiAccess="false"', b'Microsoft.Windows.Common-Controls',
    b'version="6.0.0.0"',
    b"{e2011457-1546-43c5-a5fe-008deee3d3f0}",  # Vista
    b"{35138b9a-5d96-4fbd-8e2d-a2440225f93a}",  # 7
    b"{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}",  # 8
    b"{1f676c76-80e1-4239-95bb-83d0f6d0da78}",  # 8.1
)


def resources(data, hdr):
    """{type: {name or id: [data bytes per language]}} of the resource section."""
    rva, size = hdr.directories[2] if len(hdr.directories) > 2 else (0, 0)
    if not rva:
        return {}

    def offset_of(r):
        for i in range(hdr.sections):
            s = hdr.table + 40 * i
            vsize, vaddr, raw_size, raw_ptr = struct.unpack_from("<IIII", data, s + 8)
            if vaddr <= r < vaddr + max(vsize, raw_size):
                return raw_ptr + r - vaddr
        raise PEError("RVA 0x%x lies in no section" % r)

    base = offset_of(rva)

    def entries(off):
        named, ids = struct.unpack_from("<HH", data, base + off + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base + off + 16 + 8 * i)
            if name & 0x80000000:
                at = base + (name & 0x7FFFFFFF)
                length = u16(data, at)
                name = data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
            yield name, target

    out = {}
    for rtype, t_off in entries(0):
        names = out.setdefault(rtype, {})
        for name, n_off in entries(t_off & 0x7FFFFFFF):
            for _lang, d_off in entries(n_off & 0x7FFFFFFF):
                d_rva, d_size = struct.unpack_from("<II", data, base + d_off)
                at = offset_of(d_rva)
                names.setdefault(name, []).append(data[at:at + d_size])
    return out


def check_stub_resources(data, hdr):
    problems = []
    res = resources(data, hdr)
    if "MAINICON" not in res.get(RT_GROUP_ICON, {}):
        problems.append("no icon resource MainIcon")
    manifests = res.get(RT_MANIFEST, {}).get(1, [])
    if len(manifests) != 1:
        problems.append("expected one application manifest (id 1), found %d" % len(manifests))
    else:
        for needle in MANIFEST_MUST_HAVE:
            if needle not in manifests[0]:
                problems.append("manifest lacks %s" % needle.decode())
    if not res.get(RT_VERSION):
        problems.append("no version resource")
    return problems


def check(data, machine, subsystem, stub_resources=False):
    problems = []
    if data[:2] != b"MZ":
        problems.append("no MZ at offset 0")
    if len(data) < 512:
        problems.append("file too short")
        return problems
    if u32(data, E_LFANEW) != TARGET:
        problems.append("e_lfanew is %d, not %d" % (u32(data, E_LFANEW), TARGET))
    if data[TARGET:TARGET + 4] != b"PE\0\0":
        problems.append("no PE signature at %d" % TARGET)
        return problems
    for lo, hi in (BUILDER_LETTERS, SELF_LENGTH):
        if any(data[lo:hi]):
            problems.append("bytes %d..%d are not zero" % (lo, hi - 1))
    hdr = Header(data, TARGET)
    if machine is not None and hdr.machine != machine:
        problems.append("machine is 0x%x, not 0x%x" % (hdr.machine, machine))
    if machine == 0x14C and hdr.magic != 0x10B:
        problems.append("not a PE32 optional header (magic 0x%x)" % hdr.magic)
    if subsystem is not None and hdr.subsystem != subsystem:
        problems.append("subsystem is %d, not %d" % (hdr.subsystem, subsystem))
    if TARGET + hdr.length > hdr.size_of_headers:
        problems.append("header runs past SizeOfHeaders")
    if stub_resources:
        problems += check_stub_resources(data, hdr)
    return problems


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument("file")
    ap.add_argument("--check", action="store_true")
    ap.add_argument("--machine", type=lambda s: int(s, 0))
    ap.add_argument("--subsystem", type=lambda s: int(s, 0))
    ap.add_argument("--stub-resources", action="store_true")
    args = ap.parse_args()
    with open(args.file, "rb") as f:
        data = f.read()
    try:
        if args.check:
            problems = check(data, args.machine, args.subsystem, args.stub_resources)
            for p in problems:
                print("%s: %s" % (args.file, p), file=sys.stderr)
            if not problems:
                print("%s: MZ, PE at %d, builder areas zero%s: ok" % (
                    args.file, TARGET, ", resources" if args.stub_resources else ""))
            return 1 if problems else 0
        out = move_header(data)
    except (PEError, struct.error) as e:
        print("%s: %s" % (args.file, e), file=sys.stderr)
        if not args.check:
            # Without the file the next build links it again and fails again,
            # instead of finding an unfixed stub.exe up to date.
            os.remove(args.file)
        return 1
    if out != data:
        tmp = args.file + ".tmp"
        with open(tmp, "wb") as f:
            f.write(out)
        os.chmod(tmp, os.stat(args.file).st_mode)
        os.replace(tmp, args.file)
    return 0


if __name__ == "__main__":
    sys.exit(main())
