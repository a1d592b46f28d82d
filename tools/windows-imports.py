#!/usr/bin/env python3
"""Checks what Windows programs import, the way the system's loader would on a clean Windows 7.

    windows-imports.py list PROGRAM           the DLLs and functions PROGRAM imports
    windows-imports.py check PROGRAM...       exit 1, naming the DLL or function, when a program
                                              (or a DLL of ours beside it that it imports) needs
                                              a DLL outside windows-system-dlls.txt or a function
                                              that Windows 7 lacks

Wine brings copies of DLLs that Windows does not have (zlib1.dll among them) and its own
user32 needs some of them, so they cannot be switched off inside a Wine process; tools/wine-run
runs this check before it starts a program instead, so that a program that would not start on
Windows does not start under Wine either.
"""
import pathlib
import struct
import sys

ALLOWED_LIST = pathlib.Path(__file__).with_name("windows-system-dlls.txt")
IMPORT_DIRECTORY, DELAY_IMPORT_DIRECTORY = 1, 13


class PEFormatError(Exception):
    pass


class PEImage:
    """The headers, sections and import tables of a PE32 or PE32+ file; every offset checked."""

    def __init__(self, data):
        self.data = data
        if data[:2] != b"MZ" or len(data) < 64:
            raise PEFormatError("no MZ header")
        nt = self.u32(0x3C)
        if data[nt:nt + 4] != b"PE\0\0":
            raise PEFormatError("no PE header")
        sections, optional_size = self.u16(nt + 6), self.u16(nt + 20)
        optional = nt + 24
        magic = self.u16(optional)
        if magic not in (0x10B, 0x20B):
            raise PEFormatError("unknown optional header")
        self.pe32plus = magic == 0x20B
        count_at = optional + (108 if self.pe32plus else 92)
        self.directories = [struct.unpack_from("<II", data, count_at + 4 + 8 * i)
                            for i in range(min(self.u32(count_at), 16))]
        table = optional + optional_size
        self.sections = []
        for i in range(sections):
            vsize, rva, raw_size, raw_at = struct.unpack_from("<IIII", data, table + 40 * i + 8)
            self.sections.append((rva, max(vsize, raw_size), raw_at, raw_size))

    def u16(self, at):
        return self.unpack("<H", at)

    def u32(self, at):
        return self.unpack("<I", at)

    def unpack(self, fmt, at):
        if at < 0 or at + struct.calcsize(fmt) > len(self.data):
            raise PEFormatError(f"offset {at:#x} outside the file")
        return struct.unpack_from(fmt, self.data, at)[0]

    def offset(self, rva):
        for start, size, raw_at, raw_size in self.sections:
            if start <= rva < start + size and rva - start < raw_size:
                return raw_at + rva - start
        raise PEFormatError(f"address {rva:#x} in no section")

    def text(self, rva):
        at = self.offset(rva)
        end = self.data.find(b"\0", at)
        if end < 0:
            raise PEFormatError("unterminated name")
        return self.data[at:end].decode("ascii", "replace")

    def imports(self):
        """{dll name (lower case): [function names, '#n' for ordinals]}."""
        found = {}
        for directory, descriptor_size, name_at, thunks_at in (
                (IMPORT_DIRECTORY, 20, 12, (0, 16)), (DELAY_IMPORT_DIRECTORY, 32, 4, (16, 12))):
            rva = self.directories[directory][0] if directory < len(self.directories) else 0
            while rva:
                at = self.offset(rva)
                if not any(self.data[at:at + descriptor_size]):
                    break
                dll = self.text(self.u32(at + name_at)).lower()
                lookup = self.u32(at + thunks_at[0]) or self.u32(at + thunks_at[1])
                found.setdefault(dll, []).extend(self.functions(lookup))
                rva += descriptor_size
        return found

    def functions(self, rva):
        size, ordinal_flag = (8, 1 << 63) if self.pe32plus else (4, 1 << 31)
        names = []
        while rva:
            entry = self.unpack("<Q" if self.pe32plus else "<I", self.offset(rva))
            if entry == 0:
                break
            names.append(f"#{entry & 0xFFFF}" if entry & ordinal_flag else self.text((entry & 0x7FFFFFFF) + 2))
            rva += size
        return names


def allowed():
    """(DLLs every Windows 7 to 11 has, functions that Windows 7 lacks), from the one list."""
    dlls, missing = set(), set()
    for line in ALLOWED_LIST.read_text().splitlines():
        word = line.split("#", 1)[0].split()
        if word:
            (missing.add(word[0][1:]) if word[0].startswith("!") else dlls.add(word[0].lower()))
    return dlls, missing


def problems(program, dlls, missing, seen=None):
    """What keeps PROGRAM from starting on a clean Windows 7, as the loader would word it."""
    seen = set() if seen is None else seen
    seen.add(program.resolve())
    try:
        image = PEImage(program.read_bytes())
        imports = image.imports()
    except (OSError, PEFormatError) as e:
        return [f"{program}: cannot read its import table: {e}"]
    found = []
    for dll, functions in sorted(imports.items()):
        if dll not in dlls:
            local = next((p for p in program.parent.iterdir() if p.name.lower() == dll), None)
            if local is None:
                found.append(f"{program.name}: {dll} was not found (Windows does not have it)")
            elif local.resolve() not in seen:
                found += problems(local, dlls, missing, seen)
            continue
        for function in functions:
            if function in missing:
                found.append(f"{program.name}: the procedure entry point {function} could not be located "
                             f"in {dll} (Windows 7 lacks it; look it up at run time)")
    return found


def main(argv):
    if len(argv) >= 2 and argv[0] == "list":
        for dll, functions in sorted(PEImage(pathlib.Path(argv[1]).read_bytes()).imports().items()):
            print(f"{dll}: {' '.join(functions)}")
        return 0
    if len(argv) >= 2 and argv[0] == "check":
        dlls, missing = allowed()
        found = [p for program in argv[1:] for p in problems(pathlib.Path(program), dlls, missing)]
        for p in found:
            print(p, file=sys.stderr)
        return 1 if found else 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
