#!/usr/bin/python3
"""Wraps a bare "-lh1-" stream as a one-file LHA archive (level-0 header), so an
outside LHA tool can check the stream.

  wrap_lha.py STREAM ORIGINAL NAME OUT
ORIGINAL is the uncompressed file: its size and CRC-16 go into the header."""
import struct
import sys


def crc16(data):
    # CRC-16 as LHA uses it: polynomial 0xA001 (reflected 0x8005), initial 0.
    crc = 0
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def main(argv):
    stream = open(argv[1], "rb").read()
    original = open(argv[2], "rb").read()
    name = argv[3].encode("ascii")
    # Level 0: size, checksum, method, packed, original, DOS time, attribute, level,
    # name length, name, CRC-16.
    body = b"-lh1-" + struct.pack("<IIIBB", len(stream), len(original), 0x5A8C2C00, 0x20, 0)
    body += bytes([len(name)]) + name + struct.pack("<H", crc16(original))
    header = bytes([len(body), sum(body) & 0xFF]) + body
    with open(argv[4], "wb") as f:
        f.write(header + stream + b"\x00")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
