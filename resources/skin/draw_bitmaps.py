#!/usr/bin/python3
"""Draws the program's own small skin bitmaps as 24-bit BMP files.

  TRACK       16 x 4   a sunken trackbar groove (horizontal)
  TRACKVERT   4 x 16   the same groove turned on its side (transposed)
  TARVELMENU  64 x 16  four 16 x 16 menu glyphs on white (white is the mask):
                       restore, maximise, minimise, close (the system menu's
                       image indexes 0 to 3)
  media/<S>_<B>  16 x 14  the media player's nine buttons (B: MPPLAY, MPPAUSE,
                       MPSTOP, MPNEXT, MPPREV, MPSTEP, MPBACK, MPRECORD, MPEJECT)
                       in three states (S: EN black, DI grey with a white
                       shadow, CL coloured) on olive (olive is the mask)

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


OLIVE = (0x80, 0x80, 0x00)
GREY = (0x80, 0x80, 0x80)
MEDIA_SIZE = (16, 14)


def triangle(px, x0, x1, right):
    """A filled triangle between columns x0 and x1 pointing right (or left)."""
    for x in range(x0, x1 + 1):
        half = (x1 - x) if right else (x - x0)
        for y in range(7 - half, 7 + half + 1):
            if 2 <= y <= 11:
                px(x, y)


def bar(px, x0, x1, y0=2, y1=11):
    for x in range(x0, x1 + 1):
        for y in range(y0, y1 + 1):
            px(x, y)


# Each shape draws with px(x, y) inside 16 x 14.
MEDIA_SHAPES = {
    "MPPLAY": lambda px: triangle(px, 5, 10, True),
    "MPPAUSE": lambda px: (bar(px, 4, 6), bar(px, 9, 11)),
    "MPSTOP": lambda px: bar(px, 4, 11, 3, 10),
    "MPNEXT": lambda px: (triangle(px, 4, 9, True), bar(px, 10, 11)),
    "MPPREV": lambda px: (bar(px, 4, 5), triangle(px, 6, 11, False)),
    "MPSTEP": lambda px: (triangle(px, 2, 7, True), triangle(px, 8, 13, True)),
    "MPBACK": lambda px: (triangle(px, 2, 7, False), triangle(px, 8, 13, False)),
    "MPRECORD": lambda px: [px(x, y) for x in range(16) for y in range(14)
                            if (x - 7.5) ** 2 + (y - 6.5) ** 2 <= 16],
    "MPEJECT": lambda px: ([px(x, y) for y in range(2, 8) for x in range(8 - (y - 1), 8 + (y - 1))],
                           bar(px, 2, 13, 9, 11)),
}
MEDIA_COLOURS = {"MPPLAY": (0, 0x80, 0), "MPPAUSE": (0, 0, 0xC0), "MPSTOP": (0xC0, 0, 0),
                 "MPNEXT": (0, 0, 0xC0), "MPPREV": (0, 0, 0xC0), "MPSTEP": (0, 0x80, 0x80),
                 "MPBACK": (0, 0x80, 0x80), "MPRECORD": (0xE0, 0, 0), "MPEJECT": (0x60, 0, 0x80)}


def media_button(name, state):
    img = Image.new("RGB", MEDIA_SIZE, OLIVE)

    def painter(colour, dx=0, dy=0):
        def px(x, y):
            if 0 <= x + dx < MEDIA_SIZE[0] and 0 <= y + dy < MEDIA_SIZE[1]:
                img.putpixel((x + dx, y + dy), colour)
        return px

    if state == "DI":
        MEDIA_SHAPES[name](painter(WHITE, 1, 1))
        MEDIA_SHAPES[name](painter(GREY))
    else:
        MEDIA_SHAPES[name](painter(BLACK if state == "EN" else MEDIA_COLOURS[name]))
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    groove = track()
    groove.save(os.path.join(out, "Track.bmp"))
    groove.transpose(Image.Transpose.TRANSPOSE).save(os.path.join(out, "TrackVert.bmp"))
    menu_glyphs().save(os.path.join(out, "TarvelMenu.bmp"))
    media = os.path.join(out, "media")
    os.makedirs(media, exist_ok=True)
    for state in ("EN", "DI", "CL"):
        for name in MEDIA_SHAPES:
            media_button(name, state).save(os.path.join(media, "%s_%s.bmp" % (state, name)))


if __name__ == "__main__":
    main()
