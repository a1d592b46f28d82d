#!/usr/bin/env python3
"""Run after linking (and again after stripping): gives a program file its symbol table and
its integrity stamp.

    postlink.py --nm NM --objdump OBJDUMP EXE [--symbols-from LINKED_EXE]

1. The function symbols (nm -C) and the line table (objdump --dwarf=decodedline) of the
   linked program, the one with debug information, become the symbol table that
   SymbolTable.h describes, bound to the checksum of the code section. The table is
   appended to EXE (an old table at its end is replaced).
2. The CRC-32 of the whole file is written into the stamp that FileCheck.h describes.
EXE is changed in place. Stripping keeps the code section byte for byte, so a stripped
program takes the table of the program it was stripped from.
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


def pe_layout(data):
    """(image base, code section crc, code section start rva, end rva)."""
    nt = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[nt:nt + 4] != b"PE\0\0":
        sys.exit("postlink: not a PE file")
    sections, optional_size = struct.unpack_from("<H", data, nt + 6)[0], struct.unpack_from("<H", data, nt + 20)[0]
    magic = struct.unpack_from("<H", data, nt + 24)[0]
    base = struct.unpack_from("<Q" if magic == 0x20B else "<I", data, nt + 24 + (24 if magic == 0x20B else 28))[0]
    table = nt + 24 + optional_size
    for i in range(sections):
        s = table + 40 * i
        if data[s:s + 5] == b".text":
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, s + 8)
            return base, zlib.crc32(data[raw_at:raw_at + raw_size]), rva, rva + vsize
    sys.exit("postlink: no code section")


def without_trailer(data):
    if data.endswith(TRAILER):
        size = struct.unpack_from("<I", data, len(data) - 12)[0]
        return data[:len(data) - 12 - size]
    return data


def unit_of(path):
    name = re.split(r"[\\/]", path)[-1]
    return name.rsplit(".", 1)[0] if "." in name else name


def plain_name(name):
    """A 32-bit __stdcall function keeps its argument size in its symbol ("F(void*)@4", and
    "F(void*)@4.cold" for its cold part, which the demangler then leaves as is): reports
    name it as any other function."""
    m = re.fullmatch(r"(.*\))@\d+((?:\.\w+)*)", name)
    if not m:
        return name
    return m.group(1) + "".join(f" [clone {part}]" for part in re.findall(r"\.[A-Za-z_]\w*(?:\.\d+)*", m.group(2)))


def functions(nm, exe, base, text_start, text_end):
    out = subprocess.run([nm, "-C", "--defined-only", exe], capture_output=True, text=True, check=True).stdout
    starts = {}
    for line in out.splitlines():
        m = SYMBOL.match(line)
        if not m:
            continue
        rva = int(m.group(1), 16) - base
        name = plain_name(m.group(3))
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


def stamp(data):
    at = data.find(STAMP)
    if at < 0 or data.find(STAMP, at + 1) >= 0:
        sys.exit("postlink: the file must hold the integrity stamp exactly once")
    data[at + 12:at + 16] = b"\0\0\0\0"
    data[at + 12:at + 16] = struct.pack("<I", zlib.crc32(data))


def main():
    p = argparse.ArgumentParser()
    p.add_argument("exe")
    p.add_argument("--symbols-from")
    p.add_argument("--nm", required=True)
    p.add_argument("--objdump", required=True)
    a = p.parse_args()
    source = a.symbols_from or a.exe
    data = bytearray(without_trailer(open(a.exe, "rb").read()))
    base, code_crc, text_start, text_end = pe_layout(data)
    src_crc = pe_layout(open(source, "rb").read())[1]
    if src_crc != code_crc:
        sys.exit(f"postlink: {source} holds other code than {a.exe}")
    table = build_table(code_crc, functions(a.nm, source, base, text_start, text_end), lines(a.objdump, source, base, text_start, text_end))
    packed = zlib.compress(table, 9)
    data += packed + struct.pack("<I", len(packed)) + TRAILER
    stamp(data)
    open(a.exe, "wb").write(data)


if __name__ == "__main__":
    main()
