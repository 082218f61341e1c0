#!/usr/bin/python3
"""Writes a set of PNG files of every colour type, bit depth and interlace, and
beside each one PIL's reading of it as 8-bit RGBA, for the decoder's test.

    make_png_set.py OUTDIR

OUTDIR gets NAME.png and NAME.rgba (width * height * 4 bytes, top row first) per
image and manifest.txt with one "NAME WIDTH HEIGHT" line each. The files are
written here chunk by chunk (PIL writes neither interlaced nor 16-bit colour
files); every colour value expected comes from PIL decoding them. PIL applies a
tRNS key only to 8-bit grey and truecolour files, so for grey and truecolour keys
the alpha is the key rule over the samples written (0 where all of a pixel's
samples equal the key), checked against PIL's own where PIL has one.
"""
import os
import random
import struct
import sys
import warnings
import zlib

from PIL import Image

ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}
DEPTHS = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
SIZES = [(1, 1), (3, 5), (9, 7), (17, 2), (33, 13), (8, 8), (2, 11), (20, 19)]


def chunk(kind, data):
    return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))


def pack_row(samples, depth):
    if depth == 16:
        return b''.join(struct.pack('>H', s) for s in samples)
    if depth == 8:
        return bytes(samples)
    out, acc, bits = bytearray(), 0, 0
    for s in samples:
        acc, bits = (acc << depth) | s, bits + depth
        if bits == 8:
            out.append(acc)
            acc, bits = 0, 0
    if bits:
        out.append(acc << (8 - bits))
    return bytes(out)


def filter_row(kind, row, prior, bpp):
    out = bytearray([kind])
    for i, x in enumerate(row):
        a = row[i - bpp] if i >= bpp else 0
        b = prior[i]
        c = prior[i - bpp] if i >= bpp else 0
        if kind == 0:
            pred = 0
        elif kind == 1:
            pred = a
        elif kind == 2:
            pred = b
        elif kind == 3:
            pred = (a + b) // 2
        else:
            p = a + b - c
            pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
            pred = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
        out.append((x - pred) & 255)
    return bytes(out)


def encode(width, height, ctype, depth, interlace, pixels, rng, palette=None, trns=None):
    """pixels[y][x] is a tuple of samples; returns the file's bytes."""
    chans = CHANNELS[ctype]
    bpp = max(1, depth * chans // 8)
    raw = bytearray()
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for x0, y0, dx, dy in passes:
        xs = list(range(x0, width, dx))
        ys = list(range(y0, height, dy))
        if not xs or not ys:
            continue
        prior = bytes(len(pack_row([0] * len(xs) * chans, depth)))
        for y in ys:
            row = pack_row([s for x in xs for s in pixels[y][x]], depth)
            raw += filter_row(rng.randrange(5), row, prior, bpp)
            prior = row
    out = b'\x89PNG\r\n\x1a\n'
    out += chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, depth, ctype, 0, 0, interlace))
    out += chunk(b'tEXt', b'Comment\x00made for the decoder test')
    if palette is not None:
        out += chunk(b'PLTE', b''.join(bytes(c) for c in palette))
    if trns is not None:
        out += chunk(b'tRNS', trns)
    data = zlib.compress(bytes(raw), rng.choice([0, 6, 9]))
    # Image data in several chunks, one of them empty, cut at arbitrary places.
    cuts = sorted(rng.sample(range(len(data) + 1), min(3, len(data) + 1)))
    starts = [0] + cuts
    ends = cuts + [len(data)]
    for s, e in zip(starts, ends):
        out += chunk(b'IDAT', data[s:e])
    out += chunk(b'IEND', b'')
    return out


def make_samples(width, height, ctype, depth, rng, limit=None):
    top = (1 << depth) - 1 if limit is None else limit
    chans = CHANNELS[ctype]
    rows = []
    for y in range(height):
        row = []
        for x in range(width):
            if rng.random() < 0.5:
                row.append(tuple(rng.randint(0, top) for _ in range(chans)))
            else:  # gradients give the filters runs to work on
                row.append(tuple(((x * 7 + y * 13 + c * 29) * (top + 1) // 64) % (top + 1) for c in range(chans)))
        rows.append(row)
    return rows


def pil_rgba(path, depth, key_alpha):
    """PIL's reading as a list of (r, g, b, a); key_alpha[y][x] stands in for the
    alpha of keyed grey and truecolour files."""
    img = Image.open(path)
    img.load()
    width, height = img.size
    pil_key = img.info.pop('transparency', None) if img.mode in ('1', 'L', 'I', 'RGB') else None
    if img.mode == 'I':  # 16-bit grey: PIL keeps all 16 bits, the decoder the high byte
        rgb = [(v >> 8,) * 3 for v in img.getdata()]
    else:
        rgb = list(img.convert('RGB').getdata())
        if img.mode in ('P', 'LA', 'RGBA'):
            alpha = [p[3] for p in img.convert('RGBA').getdata()]
            return [rgb[i] + (alpha[i],) for i in range(width * height)]
    alpha = [key_alpha[i // width][i % width] if key_alpha else 255 for i in range(width * height)]
    if pil_key is not None and img.mode in ('L', 'RGB') and depth == 8:
        img.info['transparency'] = pil_key
        theirs = [p[3] for p in img.convert('RGBA').getdata()]
        if theirs != alpha:
            sys.exit(path + ': the key rule and PIL disagree')
    return [rgb[i] + (alpha[i],) for i in range(width * height)]


def main():
    warnings.simplefilter("ignore")
    outdir = sys.argv[1]
    os.makedirs(outdir, exist_ok=True)
    rng = random.Random(43)
    manifest = []
    n = 0
    for ctype, depths in DEPTHS.items():
        for depth in depths:
            for interlace in (0, 1):
                variants = [False, True] if ctype in (0, 2, 3) else [False]
                for keyed in variants:
                    width, height = SIZES[n % len(SIZES)]
                    n += 1
                    palette = trns = None
                    limit = None
                    if ctype == 3:
                        count = rng.randint(1, 1 << depth)
                        palette = [tuple(rng.randrange(256) for _ in range(3)) for _ in range(count)]
                        limit = count - 1
                        if keyed:
                            trns = bytes(rng.randrange(256) for _ in range(rng.randint(1, count)))
                    pixels = make_samples(width, height, ctype, depth, rng, limit)
                    key_alpha = None
                    if keyed and ctype in (0, 2):
                        key = pixels[height // 2][width // 2]
                        # A near miss of a 16-bit key: only the low byte differs.
                        if depth == 16 and width * height > 1:
                            pixels[0][0] = tuple(s ^ 1 for s in key)
                        trns = b''.join(struct.pack('>H', s) for s in key)
                        key_alpha = [[0 if p == key else 255 for p in row] for row in pixels]
                    if ctype == 2 and not keyed and depth == 8:
                        palette = [(1, 2, 3), (4, 5, 6)]  # a suggested palette: no effect
                    name = 'c%d_d%d_%s%s' % (ctype, depth, 'adam7' if interlace else 'plain', '_trns' if keyed else '')
                    path = os.path.join(outdir, name + '.png')
                    with open(path, 'wb') as f:
                        f.write(encode(width, height, ctype, depth, interlace, pixels, rng, palette, trns))
                    pixels_out = pil_rgba(path, depth, key_alpha)
                    with open(os.path.join(outdir, name + '.rgba'), 'wb') as f:
                        f.write(bytes(c for p in pixels_out for c in p))
                    manifest.append('%s %d %d' % (name, width, height))
    with open(os.path.join(outdir, 'manifest.txt'), 'w') as f:
        f.write('\n'.join(manifest) + '\n')


if __name__ == '__main__':
    main()
