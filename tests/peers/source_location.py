#!/usr/bin/python3
"""Decodes the logger's source-location records (the mailslot record a report page
sends to a development environment) with struct, independently of the logger:
four 90-byte zero-terminated texts, then four little-endian 32-bit integers.

Usage: source_location.py <record file>. Prints one line per field: text1, unit,
class, routine, line, offset, header_low, header_high. Exits 1 when the file is
not exactly one record or a text lacks its terminating zero.
"""
import struct
import sys

FORMAT = "<90s90s90s90s4i"


def main():
    data = open(sys.argv[1], "rb").read()
    if len(data) != struct.calcsize(FORMAT):
        print("size %d" % len(data))
        return 1
    fields = struct.unpack(FORMAT, data)
    names = ("text1", "unit", "class", "routine")
    for name, raw in zip(names, fields[:4]):
        if b"\0" not in raw:
            print("%s: no terminating zero" % name)
            return 1
        print("%s=%s" % (name, raw.split(b"\0", 1)[0].decode("latin-1")))
    for name, value in zip(("line", "offset", "header_low", "header_high"), fields[4:]):
        print("%s=%d" % (name, value))
    return 0


if __name__ == "__main__":
    sys.exit(main())
