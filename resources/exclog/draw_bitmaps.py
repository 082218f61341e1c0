#!/usr/bin/python3
"""Draws the logger's own small bitmaps as 24-bit BMP files. Each has its key
colour (magenta) in pixel (0, 0): the lists draw them with that colour transparent.

  QL_DLL    16 x 16  a library: a grey page with a blue cog
  QL_BPL    16 x 16  a package library: a brown box
  QL_VCL    16 x 16  the program: a window with a navy title bar
  QL_PAS    16 x 16  a source line: a white page with green text lines
  QL_PLUS   13 x 13  a collapsed group's box: grey frame, white, a black plus
  QL_MINUS  13 x 13  an expanded group's box: the same with a black minus

Usage: draw_bitmaps.py <output folder>. The BMP files are kept in the source tree;
run this again only when a drawing changes.
"""
import os
import sys

from PIL import Image

KEY = (0xFF, 0x00, 0xFF)
BLACK, WHITE, GREY = (0, 0, 0), (0xFF, 0xFF, 0xFF), (0x80, 0x80, 0x80)
LIGHT = (0xD6, 0xD6, 0xD6)


def canvas(size):
    return Image.new("RGB", (size, size), KEY)


def rect(img, x0, y0, x1, y1, colour, fill=None):
    for x in range(x0, x1 + 1):
        for y in range(y0, y1 + 1):
            edge = x in (x0, x1) or y in (y0, y1)
            if edge:
                img.putpixel((x, y), colour)
            elif fill is not None:
                img.putpixel((x, y), fill)


def page(img, fill):
    rect(img, 2, 1, 13, 14, GREY, fill)


def library():
    img = canvas(16)
    page(img, LIGHT)
    blue = (0x20, 0x40, 0xC0)
    for x in range(4, 12):
        for y in range(4, 12):
            d = (x - 7.5) ** 2 + (y - 7.5) ** 2
            if d <= 12 and not d <= 2:
                img.putpixel((x, y), blue)
    for x, y in ((7, 3), (8, 3), (7, 12), (8, 12), (3, 7), (3, 8), (12, 7), (12, 8)):
        img.putpixel((x, y), blue)
    return img


def package():
    img = canvas(16)
    brown, dark = (0xB0, 0x70, 0x30), (0x60, 0x38, 0x10)
    rect(img, 1, 4, 14, 14, dark, brown)
    rect(img, 3, 1, 12, 4, dark, (0xD0, 0x98, 0x50))
    for y in range(5, 14):
        img.putpixel((8, y), dark)
    return img


def program():
    img = canvas(16)
    navy = (0x00, 0x00, 0x80)
    rect(img, 0, 2, 15, 14, GREY, WHITE)
    for x in range(1, 15):
        for y in range(3, 6):
            img.putpixel((x, y), navy)
    return img


def source():
    img = canvas(16)
    page(img, WHITE)
    green = (0x00, 0x80, 0x00)
    for y, length in ((4, 7), (6, 5), (8, 8), (10, 6), (12, 4)):
        for x in range(4, 4 + length):
            img.putpixel((x, y), green)
    return img


def box(plus):
    img = Image.new("RGB", (13, 13), KEY)
    rect(img, 1, 1, 11, 11, GREY, WHITE)
    for x in range(4, 9):
        img.putpixel((x, 6), BLACK)
        if plus:
            img.putpixel((6, x), BLACK)
    return img


def main():
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    for name, img in (("Dll", library()), ("Bpl", package()), ("Vcl", program()), ("Pas", source()),
                      ("Plus", box(True)), ("Minus", box(False))):
        assert img.getpixel((0, 0)) == KEY, name
        img.save(os.path.join(out, "Ql%s.bmp" % name))


if __name__ == "__main__":
    main()
