#!/usr/bin/env python3
"""Run after linking (and again after stripping): gives a program file its symbol table and
its integrity stamp.

    postlink.py --nm NM --objdump OBJDUMP EXE [--symbols-from LINKED_EXE]

1. The function symbols (nm -C) and the line table (objdump --dwarf=decodedline) of the
   linked program, the one with debug information, become the symbol table that
   SymbolTable.h describes, bound to the checksum of the code section. The table is
   appended to EXE (an old table at its end is replaced), padded so that the file's size
   is a multiple of 8 and a signer has nothing to pad.
2. The CRC-32 of the bytes a code signature's hash covers is written into the stamp that
   FileCheck.h describes; then the header's CheckSum is set for the new file.
EXE is changed in place and must not be signed yet: sign after this step. Stripping keeps
the code section byte for byte, so a stripped program takes the table of the program it
was stripped from. The output depends on nothing but the input files.
"""
import argparse
import re
import struct
import subprocess
import sys
import zlib

TRAILER = b"VMSYMTB1"
STAMP = bytes([0x7F]) + b"VMFILECRC" + bytes([0xA5, 0x5A])
SYMBOL = re.compile(r"^([0-9a-fA-F]+) ([Tt]) (.+)$")
LINE = re.compile(r"^(\S+)\s+(\d+)\s+(0x[0-9a-fA-F]+)")
# What the 32-bit toolchain adds to a function's name: the cold part that GCC moves away
# from its function, and the stdcall size of the arguments. A report names the function.
DECORATION = re.compile(r"(@\d+)?(\.cold(\.\d+)?| \[clone \.cold(\.\d+)?\])?$")
# The calling convention inside a function pointer type ("void ( stdcall*)(void*)"), which
# only the 32-bit names carry: a report reads the same from both builds.
CALLING_CONVENTION = re.compile(r"\( (stdcall|fastcall|thiscall)\*\)")


class PeFile:
    """The few facts of a PE file that the symbol table and the stamp need (PeLayout.h)."""

    def __init__(self, data):
        nt = struct.unpack_from("<I", data, 0x3C)[0]
        if data[:2] != b"MZ" or data[nt:nt + 4] != b"PE\0\0":
            sys.exit("postlink: not a PE file")
        sections, optional_size = struct.unpack_from("<H", data, nt + 6)[0], struct.unpack_from("<H", data, nt + 20)[0]
        optional = nt + 24
        pe32_plus = struct.unpack_from("<H", data, optional)[0] == 0x20B
        self.base = struct.unpack_from("<Q" if pe32_plus else "<I", data, optional + (24 if pe32_plus else 28))[0]
        self.checksum_at = optional + 64
        directory = optional + (112 if pe32_plus else 96)
        self.cert_entry_at = directory + 8 * 4
        if struct.unpack_from("<II", data, self.cert_entry_at) != (0, 0):
            sys.exit("postlink: the file is signed; sign it after this step")
        self.sections = {}
        for i in range(sections):
            s = optional + optional_size + 40 * i
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, s + 8)
            self.sections.setdefault(bytes(data[s:s + 8]).rstrip(b"\0"), (rva, vsize, raw_at, raw_size))
        if b".text" not in self.sections:
            sys.exit("postlink: no code section")

    def code(self, data):
        """(crc of the code section's bytes, its start rva, its end rva)."""
        rva, vsize, raw_at, raw_size = self.sections[b".text"]
        return zlib.crc32(data[raw_at:raw_at + raw_size]), rva, rva + vsize

    def signed_hash_ranges(self, size):
        """What a code signature's hash covers of an unsigned file of `size` bytes."""
        return [(0, self.checksum_at), (self.checksum_at + 4, self.cert_entry_at), (self.cert_entry_at + 8, size)]


def without_trailer(data):
    if data.endswith(TRAILER):
        size = struct.unpack_from("<I", data, len(data) - 12)[0]
        return data[:len(data) - 12 - size]
    return data


def unit_of(path):
    name = re.split(r"[\\/]", path)[-1]
    return name.rsplit(".", 1)[0] if "." in name else name


def functions(nm, exe, base, text_start, text_end):
    out = subprocess.run([nm, "-C", "--defined-only", exe], capture_output=True, text=True, check=True).stdout
    starts = {}
    for line in out.splitlines():
        m = SYMBOL.match(line)
        if not m:
            continue
        rva = int(m.group(1), 16) - base
        name = CALLING_CONVENTION.sub("(*)", DECORATION.sub("", m.group(3), count=1))
        # Section and local labels (".text", ".l_start") name no function.
        if name.startswith(".") or not text_start <= rva < text_end:
            continue
        if rva not in starts or len(name) < len(starts[rva]):
            starts[rva] = name
    ordered = sorted(starts.items())
    # A function runs to the next symbol; nm gives no sizes for PE files.
    return [(rva, ordered[i + 1][0] if i + 1 < len(ordered) else text_end, name)
            for i, (rva, name) in enumerate(ordered)]


def lines(objdump, exe, base, text_start, text_end):
    out = subprocess.run([objdump, "--dwarf=decodedline", exe], capture_output=True, text=True, check=True).stdout
    by_address = {}
    for line in out.splitlines():
        m = LINE.match(line)
        # Rows of functions the linker dropped sit at address 0: outside the code.
        rva = int(m.group(3), 16) - base if m else -1
        if text_start <= rva < text_end:
            # The last row for an address is the statement that starts there.
            by_address[rva] = (int(m.group(2)), unit_of(m.group(1)))
    return sorted(by_address.items())


def build_table(code_crc, funcs, rows):
    pool, offsets = bytearray(), {}

    def text(s):
        if s not in offsets:
            offsets[s] = len(pool)
            pool.extend(s.encode("utf-8", "replace") + b"\0")
        return offsets[s]

    text("")
    body = bytearray()
    i = 0
    for rva, end, name in funcs:
        # The function's first line: the first row inside it.
        while i < len(rows) and rows[i][0] < rva:
            i += 1
        first, unit = (rows[i][1] if i < len(rows) and rows[i][0] < end else (0, ""))
        body += struct.pack("<5I", rva, end, text(name), text(unit), first)
    for rva, (line, unit) in rows:
        body += struct.pack("<3I", rva, line, text(unit))
    return b"VMSYM001" + struct.pack("<4I", code_crc, len(funcs), len(rows), len(pool)) + body + pool


def stamp(data, pe):
    at = data.find(STAMP)
    if at < 0 or data.find(STAMP, at + 1) >= 0:
        sys.exit("postlink: the file must hold the integrity stamp exactly once")
    data[at + 12:at + 16] = b"\0\0\0\0"
    crc = 0
    for start, end in pe.signed_hash_ranges(len(data)):
        crc = zlib.crc32(data[start:end], crc)
    data[at + 12:at + 16] = struct.pack("<I", crc)


def set_pe_checksum(data, pe):
    """The header's CheckSum as the system computes it: the file's 16-bit words summed with
    end-around carry (the field itself as zero), plus the file's size. The link wrote one
    for the file before this step changed it."""
    data[pe.checksum_at:pe.checksum_at + 4] = b"\0\0\0\0"
    words = memoryview(bytes(data) + b"\0" * (len(data) % 2)).cast("H")
    total = sum(words)
    while total >> 16:
        total = (total & 0xFFFF) + (total >> 16)
    data[pe.checksum_at:pe.checksum_at + 4] = struct.pack("<I", total + len(data))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("exe")
    p.add_argument("--symbols-from")
    p.add_argument("--nm", required=True)
    p.add_argument("--objdump", required=True)
    a = p.parse_args()
    source = a.symbols_from or a.exe
    data = bytearray(without_trailer(open(a.exe, "rb").read()))
    pe = PeFile(data)
    code_crc, text_start, text_end = pe.code(data)
    source_data = open(source, "rb").read()
    if PeFile(source_data).code(source_data)[0] != code_crc:
        sys.exit(f"postlink: {source} holds other code than {a.exe}")
    table = build_table(code_crc, functions(a.nm, source, pe.base, text_start, text_end),
                        lines(a.objdump, source, pe.base, text_start, text_end))
    packed = zlib.compress(table, 9)
    trailer = packed + struct.pack("<I", len(packed)) + TRAILER
    data += b"\0" * (-(len(data) + len(trailer)) % 8) + trailer
    stamp(data, pe)
    set_pe_checksum(data, pe)
    open(a.exe, "wb").write(data)


if __name__ == "__main__":
    main()
