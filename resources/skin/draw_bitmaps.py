#!/usr/bin/python3
"""Draws the program's own small skin bitmaps as 24-bit BMP files.

  TRACK       16 x 4   a sunken trackbar groove (horizontal)
  TRACKVERT   4 x 16   the same groove turned on its side (transposed)
  TARVELMENU  64 x 16  four 16 x 16 menu glyphs on white (white is the mask):
                       restore, maximise, minimise, close (the system menu's
                       image indexes 0 to 3)

Usage: draw_bitmaps.py <output folder>. The BMP files are kept in the source tree;
run this again only when a drawing changes.
"""
import os
import sys

from PIL import Image

DARK, FACE, LIGHT = (0x80, 0x80, 0x80), (0xD6, 0xD6, 0xD6), (0xFF, 0xFF, 0xFF)
WHITE, BLACK = (0xFF, 0xFF, 0xFF), (0, 0, 0)


def track():
    img = Image.new("RGB", (16, 4), FACE)
    for x in range(16):
        img.putpixel((x, 0), DARK)
        img.putpixel((x, 3), LIGHT)
    for y in (1, 2):
        img.putpixel((0, y), DARK)
        img.putpixel((15, y), LIGHT)
    return img


def menu_glyphs():
    img = Image.new("RGB", (64, 16), WHITE)

    def put(glyph, x, y):
        img.putpixel((glyph * 16 + x, y), BLACK)

    for i in range(4, 12):
        put(3, i, i)            # close: a cross
        put(3, 15 - i, i)
        put(2, i, 11)           # minimise: a bar two lines high
        put(2, i, 12)
        for e in (4, 11):       # maximise: a box ...
            put(1, i, e)
            put(1, e, i)
        put(1, i, 5)            # ... with a thick top
    for i in range(3, 10):      # restore: two overlapping boxes
        for e in (3, 9):
            put(0, i + 3, e)
            put(0, e + 3, i)
            put(0, i, e + 3)
            put(0, e, i + 3)
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    groove = track()
    groove.save(os.path.join(out, "Track.bmp"))
    groove.transpose(Image.Transpose.TRANSPOSE).save(os.path.join(out, "TrackVert.bmp"))
    menu_glyphs().save(os.path.join(out, "TarvelMenu.bmp"))


if __name__ == "__main__":
    main()
