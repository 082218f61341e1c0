#!/usr/bin/python3
"""Writes the BMP samples of tests/data/bmp/ and PIL's decoding of each.

Run once with Debian's Python (python3-pil) and ImageMagick; the outputs are kept
in the repository. Some files come from ImageMagick's BMP writer, the rest are built
byte by byte here with struct (header versions, bit depths, bit fields, RLE and
top-down rows that no common writer produces). For every sample.bmp PIL writes
sample.rgb (raw RGB, top row first) or sample.rgba (when PIL sees an alpha
channel; ImageMagick decodes the few files PIL gets wrong, see MAGICK_DECODED),
and manifest.txt lists: file width height bit-count header-size.

Samples are small (odd widths, so every row needs padding).
"""
import os
import struct
import subprocess
import sys
import tempfile

from PIL import Image

OUT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "bmp")
W, H = 13, 7

# A 16-colour palette with distinct channels, so swaps of R/B or of rows show.
PALETTE16 = [
    (0, 0, 0), (255, 255, 255), (255, 0, 0), (0, 255, 0), (0, 0, 255), (255, 255, 0),
    (0, 255, 255), (255, 0, 255), (128, 0, 0), (0, 128, 0), (0, 0, 128), (128, 128, 0),
    (10, 20, 30), (200, 100, 50), (50, 100, 200), (77, 177, 17),
]
PALETTE256 = [((i * 37) % 256, (i * 91 + 13) % 256, (255 - i) % 256) for i in range(256)]


def index_at(x, y, colours):
    return (x * 3 + y * 5 + (x * y) % 7) % colours


def rgb_at(x, y):
    return ((x * 19 + y * 7) % 256, (y * 37 + 11) % 256, (x * 5 + y * 29 + 3) % 256)


def row_bytes(bits, values):
    """Packs one row of indices (bits <= 8) or (r, g, b[, a]) tuples, padded to 4 bytes."""
    out = bytearray()
    if bits in (1, 4):
        per = 8 // bits
        for i in range(0, len(values), per):
            byte = 0
            for j, v in enumerate(values[i:i + per]):
                byte |= v << (8 - bits * (j + 1))
            out.append(byte)
    elif bits == 8:
        out.extend(values)
    else:
        out.extend(values)  # already packed bytes
    while len(out) % 4:
        out.append(0)
    return bytes(out)


def file_header(total, offset):
    return b"BM" + struct.pack("<IHHI", total, 0, 0, offset)


def info_header(size, width, height, bits, compression=0, image_size=0, colours=0,
                masks=None, cs_type=0x73524742):
    """A BITMAPINFOHEADER (40), V4 (108) or V5 (124), masks in the header for V4/V5."""
    hdr = struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, image_size,
                      2835, 2835, colours, 0)
    if size >= 108:
        r, g, b, a = masks or (0, 0, 0, 0)
        hdr += struct.pack("<IIIII", r, g, b, a, cs_type)
        hdr += b"\0" * 36 + struct.pack("<III", 0, 0, 0)
    if size == 124:
        hdr += struct.pack("<IIII", 4, 0, 0, 0)  # LCS_GM_IMAGES, no profile
    assert len(hdr) == size, (size, len(hdr))
    return hdr


def assemble(header, palette_bytes, pixel_bytes, extra=b""):
    offset = 14 + len(header) + len(extra) + len(palette_bytes)
    total = offset + len(pixel_bytes)
    return file_header(total, offset) + header + extra + palette_bytes + pixel_bytes


def palette_bytes(palette, entry=4):
    out = bytearray()
    for r, g, b in palette:
        out += bytes((b, g, r)) + (b"\0" if entry == 4 else b"")
    return bytes(out)


def indexed_rows(bits, colours, width=W, height=H, top_down=False):
    rows = [row_bytes(bits, [index_at(x, y, colours) for x in range(width)]) for y in range(height)]
    return b"".join(rows if top_down else reversed(rows))


def true_rows(bits, pack, width=W, height=H, top_down=False):
    rows = []
    for y in range(height):
        raw = bytearray()
        for x in range(width):
            raw += pack(*rgb_at(x, y), x, y)
        rows.append(row_bytes(bits, raw))
    return b"".join(rows if top_down else reversed(rows))


def bgr(r, g, b, x, y):
    return bytes((b, g, r))


def bgrx(r, g, b, x, y):
    return bytes((b, g, r, (x * y) & 0xFF))


def bgra(r, g, b, x, y):
    return bytes((b, g, r, (x * 20 + y * 3) % 256))


def rgb555(r, g, b, x, y):
    return struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))


def rgb565(r, g, b, x, y):
    return struct.pack("<H", ((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3))


def core_header(width, height, bits):
    return struct.pack("<IHHHH", 12, width, height, 1, bits)


def rle8_stream(delta):
    """Rows (bottom first) using encoded runs, an absolute run, EOL and (with `delta`)
    a delta; without it the same pixels come from runs of index 0."""
    out = bytearray()
    for y in range(H):
        if y == 2:
            if delta:
                out += bytes((0, 2, 4, 1))        # delta: 4 right, 1 up (skips into row 3)
            else:
                out += bytes((13, 0, 0, 0, 4, 0))  # row 2 of index 0, EOL, 4 of index 0
            out += bytes((9, 7))                  # rest of row 3 from x = 4
            out += bytes((0, 0))
            continue
        if y == 3:
            continue
        out += bytes((4, (y * 3) % 256))          # encoded run of 4
        out += bytes((0, 5)) + bytes((10, 20, 30, 40, 50)) + b"\0"  # absolute 5, padded
        out += bytes((4, 200 + y))                # encoded run of 4 (13 pixels in all)
        out += bytes((0, 0))                      # end of line
    out += bytes((0, 1))
    return bytes(out)


def rle4_stream(delta):
    """Encoded runs (alternating nibbles), absolute runs of even length, EOL and
    (with `delta`) a delta; without it a run of index 0 fills the same pixels."""
    out = bytearray()
    for y in range(H):
        if y == 4:
            out += bytes((3, 0x5A))               # 5 A 5
            out += bytes((0, 2, 6, 0)) if delta else bytes((6, 0x00))  # 6 right
            out += bytes((4, 0xC3))               # x = 9..12
            out += bytes((0, 0))
            continue
        out += bytes((5, 0x12 + y))               # 5 pixels alternating
        out += bytes((0, 4, 0x9A, 0xBC))          # absolute 4 (2 bytes, already even)
        out += bytes((4, 0xF0 + y))               # 4 pixels: 13 in all
        out += bytes((0, 0))
    out += bytes((0, 1))
    return bytes(out)


def build_struct_samples():
    s = {}
    p16 = palette_bytes(PALETTE16)
    p256 = palette_bytes(PALETTE256)
    two = [(20, 40, 60), (250, 200, 150)]

    # BITMAPCOREHEADER: 3-byte palette entries, 16-bit sizes.
    s["core_1"] = assemble(core_header(W, H, 1), palette_bytes(two, 3), indexed_rows(1, 2))
    s["core_4"] = assemble(core_header(W, H, 4), palette_bytes(PALETTE16, 3), indexed_rows(4, 16))
    s["core_8"] = assemble(core_header(W, H, 8), palette_bytes(PALETTE256, 3), indexed_rows(8, 256))
    s["core_24"] = assemble(core_header(W, H, 24), b"", true_rows(24, bgr))

    # BITMAPINFOHEADER, every depth, bottom-up.
    s["info_1"] = assemble(info_header(40, W, H, 1), palette_bytes(two), indexed_rows(1, 2))
    s["info_4"] = assemble(info_header(40, W, H, 4), p16, indexed_rows(4, 16))
    s["info_8"] = assemble(info_header(40, W, H, 8), p256, indexed_rows(8, 256))
    s["info_16"] = assemble(info_header(40, W, H, 16), b"", true_rows(16, rgb555))
    s["info_24"] = assemble(info_header(40, W, H, 24), b"", true_rows(24, bgr))
    s["info_32"] = assemble(info_header(40, W, H, 32), b"", true_rows(32, bgrx))
    # A short palette (biClrUsed = 16) for an 8-bit image.
    s["info_8_used16"] = assemble(info_header(40, W, H, 8, colours=16), p16, indexed_rows(8, 16))

    # Top-down rows (negative height).
    s["info_8_topdown"] = assemble(info_header(40, W, -H, 8), p256,
                                   indexed_rows(8, 256, top_down=True))
    s["info_24_topdown"] = assemble(info_header(40, W, -H, 24), b"",
                                    true_rows(24, bgr, top_down=True))
    s["info_4_topdown"] = assemble(info_header(40, W, -H, 4), p16,
                                   indexed_rows(4, 16, top_down=True))

    # BI_BITFIELDS with the masks after a 40-byte header.
    s["info_16_565"] = assemble(info_header(40, W, H, 16, compression=3), b"",
                                true_rows(16, rgb565), extra=struct.pack("<III", 0xF800, 0x7E0, 0x1F))
    s["info_16_555bf"] = assemble(info_header(40, W, H, 16, compression=3), b"",
                                  true_rows(16, rgb555), extra=struct.pack("<III", 0x7C00, 0x3E0, 0x1F))
    s["info_32_bf"] = assemble(info_header(40, W, H, 32, compression=3), b"",
                               true_rows(32, bgrx), extra=struct.pack("<III", 0xFF0000, 0xFF00, 0xFF))

    # V4 and V5 headers.
    s["v4_24"] = assemble(info_header(108, W, H, 24), b"", true_rows(24, bgr))
    s["v4_8"] = assemble(info_header(108, W, H, 8), p256, indexed_rows(8, 256))
    s["v4_32_alpha"] = assemble(info_header(108, W, H, 32, compression=3,
                                            masks=(0xFF0000, 0xFF00, 0xFF, 0xFF000000)),
                                b"", true_rows(32, bgra))
    s["v5_24_topdown"] = assemble(info_header(124, W, -H, 24), b"", true_rows(24, bgr, top_down=True))
    s["v5_4"] = assemble(info_header(124, W, H, 4), p16, indexed_rows(4, 16))
    s["v5_16_565"] = assemble(info_header(124, W, H, 16, compression=3, masks=(0xF800, 0x7E0, 0x1F, 0)),
                              b"", true_rows(16, rgb565))

    # OS/2 2.x header of 64 bytes: the 40-byte fields, then OS/2-only fields (zero).
    os2 = info_header(40, W, H, 8)
    os2 = struct.pack("<I", 64) + os2[4:] + b"\0" * 24
    s["os2_64_8"] = assemble(os2, p256, indexed_rows(8, 256))

    # RLE: bottom-up, with the features each run kind has.
    for delta, suffix in ((False, ""), (True, "_delta")):
        rle8 = rle8_stream(delta)
        s["info_rle8" + suffix] = assemble(
            info_header(40, W, H, 8, compression=1, image_size=len(rle8)), p256, rle8)
        rle4 = rle4_stream(delta)
        s["info_rle4" + suffix] = assemble(
            info_header(40, W, H, 4, compression=2, image_size=len(rle4)), p16, rle4)
    return s


def build_magick_samples(tmp):
    src = os.path.join(tmp, "src.png")
    img = Image.new("RGB", (W, H))
    for y in range(H):
        for x in range(W):
            img.putpixel((x, y), PALETTE16[index_at(x, y, 16)] if x < 7 else rgb_at(x, y))
    img.save(src)
    few = os.path.join(tmp, "few.png")
    pal = Image.new("RGB", (W, H))
    for y in range(H):
        for x in range(W):
            pal.putpixel((x, y), PALETTE16[index_at(x, y, 9)])
    pal.save(few)
    alpha = os.path.join(tmp, "alpha.png")
    rgba = Image.new("RGBA", (W, H))
    for y in range(H):
        for x in range(W):
            rgba.putpixel((x, y), rgb_at(x, y) + ((x * 20 + y * 3) % 256,))
    rgba.save(alpha)

    jobs = {
        "im_v5_24": [src, "BMP:{}"],
        "im_info_24": [src, "BMP3:{}"],
        "im_core_8": [few, "BMP2:{}"],
        "im_info_8": [few, "-type", "Palette", "BMP3:{}"],
        "im_info_1": [src, "-monochrome", "BMP3:{}"],
        "im_rle8": [few, "-type", "Palette", "-compress", "RLE", "BMP3:{}"],
        "im_v5_32_alpha": [alpha, "BMP:{}"],
    }
    out = {}
    for name, args in jobs.items():
        path = os.path.join(tmp, name + ".bmp")
        cmd = ["/usr/bin/convert"] + [a.format(path) if "{}" in a else a for a in args]
        subprocess.run(cmd, check=True)
        with open(path, "rb") as f:
            out[name] = f.read()
    return out


# PIL 9.4 reads the two bytes of an RLE delta twice and loses the rest of the
# image; ImageMagick decodes these (skipped pixels take palette index 0).
MAGICK_DECODED = {"info_rle8_delta", "info_rle4_delta"}


def magick_rgb(path):
    return subprocess.run(["/usr/bin/convert", path, "-depth", "8", "RGB:-"], check=True,
                          stdout=subprocess.PIPE).stdout


def header_facts(data):
    hs = struct.unpack_from("<I", data, 14)[0]
    if hs == 12:
        w, h, _, bits = struct.unpack_from("<HHHH", data, 18)
    else:
        w, h, _, bits = struct.unpack_from("<iiHH", data, 18)
        h = abs(h)
    return w, h, bits, hs


def main():
    os.makedirs(OUT, exist_ok=True)
    with tempfile.TemporaryDirectory() as tmp:
        samples = build_struct_samples()
        samples.update(build_magick_samples(tmp))
    manifest = []
    for name in sorted(samples):
        data = samples[name]
        path = os.path.join(OUT, name + ".bmp")
        with open(path, "wb") as f:
            f.write(data)
        with Image.open(path) as im:
            im.load()
            if name in MAGICK_DECODED:
                raw, ext = magick_rgb(path), "rgb"
            elif im.mode in ("RGBA", "LA") or (im.mode == "P" and "transparency" in im.info):
                raw, ext = im.convert("RGBA").tobytes(), "rgba"
            else:
                raw, ext = im.convert("RGB").tobytes(), "rgb"
        with open(os.path.join(OUT, name + "." + ext), "wb") as f:
            f.write(raw)
        w, h, bits, hs = header_facts(data)
        manifest.append(f"{name}.bmp {w} {h} {bits} {hs} {ext}")
    with open(os.path.join(OUT, "manifest.txt"), "w") as f:
        f.write("\n".join(manifest) + "\n")
    print("\n".join(manifest))


if __name__ == "__main__":
    sys.exit(main())
