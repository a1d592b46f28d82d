#!/usr/bin/env python3
"""Turns a crash settings source file into the record's stream bytes.

    make_settings_stream.py [--object CLASS NAME] SOURCE OUTPUT

The source holds one "Key Type Value" line per property (see Zentrapix.settings). The
output is the stream the reporter parses: the 25-byte prefix, the properties, a zero byte.
Integers take the shortest of the 1-, 2- and 4-byte forms, texts the short form up to 255
bytes. Any malformed line stops the build with the file and line named. With --object the
prefix names that class and object instead (the assistant pages), and keys may carry a dot
("ContinueBtn.Caption").
"""
import re
import struct
import sys

PREFIX = b"TPF0\x0aTZentrapix\x09Zentrapix"
LINE = re.compile(r'^(\w+(?:\.\w+)?) ([BITW]) (.*)$')
TEXT = re.compile(r'^"((?:[^"]|"")*)"$')
ANSI = "cp1252"  # the code page the record's texts are written in


class SourceError(Exception):
    pass


def parse_text(value):
    m = TEXT.match(value)
    if not m:
        raise SourceError('a text must stand in double quotes, inner quotes doubled: %s' % value)
    return m.group(1).replace('""', '"')


def encode_value(kind, value):
    if kind == "B":
        if value not in ("true", "false"):
            raise SourceError("a boolean is true or false, not %s" % value)
        return bytes([9 if value == "true" else 8])
    if kind == "I":
        if not re.fullmatch(r"-?\d+", value):
            raise SourceError("not an integer: %s" % value)
        n = int(value)
        if -128 <= n <= 127:
            return bytes([2]) + struct.pack("<b", n)
        if -32768 <= n <= 32767:
            return bytes([3]) + struct.pack("<h", n)
        if -2**31 <= n < 2**31:
            return bytes([4]) + struct.pack("<i", n)
        raise SourceError("integer out of the 32-bit range: %s" % value)
    text = parse_text(value)
    if kind == "W":
        units = text.encode("utf-16-le")
        return bytes([18]) + struct.pack("<I", len(units) // 2) + units
    try:
        raw = text.encode(ANSI)
    except UnicodeEncodeError:
        raise SourceError("text not in code page %s (use W): %s" % (ANSI, value))
    if len(raw) <= 255:
        return bytes([6, len(raw)]) + raw
    return bytes([12]) + struct.pack("<I", len(raw)) + raw


def object_prefix(class_name, object_name):
    names = [class_name.encode("ascii"), object_name.encode("ascii")]
    return b"TPF0" + b"".join(bytes([len(n)]) + n for n in names)


def convert(lines, prefix=PREFIX):
    out = bytearray(prefix)
    seen = set()
    for number, line in enumerate(lines, 1):
        line = line.rstrip("\r\n")
        if not line.strip() or line.lstrip().startswith("#"):
            continue
        try:
            m = LINE.match(line)
            if not m:
                raise SourceError('expected "Key Type Value": %s' % line)
            key, kind, value = m.groups()
            if len(key) > 255:
                raise SourceError("key longer than 255 characters")
            if key in seen:
                raise SourceError("key %s given twice" % key)
            seen.add(key)
            out += bytes([len(key)]) + key.encode("ascii") + encode_value(kind, value)
        except SourceError as e:
            raise SourceError("line %d: %s" % (number, e))
    out.append(0)
    return bytes(out)


def main(argv):
    prefix = PREFIX
    if len(argv) == 6 and argv[1] == "--object":
        prefix = object_prefix(argv[2], argv[3])
        argv = argv[:1] + argv[4:]
    if len(argv) != 3:
        sys.stderr.write(__doc__)
        return 2
    source, output = argv[1], argv[2]
    try:
        with open(source, encoding="utf-8") as f:
            data = convert(f, prefix)
    except SourceError as e:
        sys.stderr.write("%s:%s\n" % (source, e))
        return 1
    with open(output, "wb") as f:
        f.write(data)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
