#!/usr/bin/python3
"""Reference skin container writer for the reader's tests, independent of skinpack:
the unpacked image laid out with struct, the stream compressed by the Java LHA
library's "-lh1-" coder (Lh1Peer.java).

  make_container.py VERSION EOL OUT NAME=FILE...
EOL is crlf, lf or cr: the line end written after each name."""
import os
import struct
import subprocess
import sys
import tempfile

EXTRA = {20000: 0, 30000: 256, 40000: 80, 50000: 48, 60000: 117, 70000: 69}
EOLS = {"crlf": b"\r\n", "lf": b"\n", "cr": b"\r"}


def main(argv):
    version, eol, out = int(argv[1]), EOLS[argv[2]], argv[3]
    entries = []
    for arg in argv[4:]:
        name, path = arg.split("=", 1)
        with open(path, "rb") as f:
            entries.append((name.encode("latin-1"), f.read()))
    names = b"".join(n + eol for n, _ in entries)
    image = struct.pack("<IIII", version, len(names), 0xDEADBEEF, 0x12345678)
    image += bytes((i * 7 + 3) & 0xFF for i in range(EXTRA.get(version, 0)))
    image += names
    image += b"".join(struct.pack("<I", len(d)) for _, d in entries)
    image += b"".join(d for _, d in entries)
    here = os.path.dirname(os.path.abspath(__file__))
    with tempfile.TemporaryDirectory() as tmp:
        raw, packed = os.path.join(tmp, "image"), os.path.join(tmp, "stream")
        with open(raw, "wb") as f:
            f.write(image)
        subprocess.run(["java", "-cp", "/usr/share/java/jlha.jar",
                        os.path.join(here, "Lh1Peer.java"), "encode", raw, packed], check=True)
        with open(packed, "rb") as f:
            stream = f.read()
    with open(out, "wb") as f:
        f.write(struct.pack("<I", len(image)) + stream)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
