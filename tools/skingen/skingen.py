#!/usr/bin/python3
"""Draws the project's two skins from nothing, as a folder of 24-bit BMP files and
one INI file each, ready for skinpack.

  skingen.py test    OUTDIR   frame-coded test skin plus OUTDIR/manifest.txt
  skingen.py default OUTDIR   the look the host program ships with

Both skins share one geometry (the ELEMENTS table); only the painting differs.

Frame-coded painting: every pixel of an element image tells what was drawn:
  red   = the image's id (1..), listed in the manifest
  green = frame * 9 + slice, frame counted from 0, slice 0..8 row by row
          (0 top-left, 1 top, 2 top-right, 3 left, 4 centre, 5 right, 6..8 bottom)
  blue  = 0x11
and the outermost corner pixel of each frame is magenta (255, 0, 255) wherever a
corner slice exists, so transparency shows too.
"""
import os
import sys

from PIL import Image, ImageDraw

MAGENTA = (255, 0, 255)


class Elem:
    """One image of the skin: where it sits in the INI and how it is cut."""

    def __init__(self, section, key, file, frames, cell, margins, stacked=False,
                 ini_margins=None, role="face"):
        self.section, self.key, self.file = section, key, file
        self.frames = frames              # state frames in the image
        self.cell = cell                  # (width, height) of one frame
        self.margins = margins            # (left, top, right, bottom) as the engine cuts
        self.stacked = stacked            # frames one above the other
        self.ini_margins = ini_margins    # what the INI says, when it differs
        self.role = role                  # painting hint for the default skin

    def size(self):
        w, h = self.cell
        return (w, h * self.frames) if self.stacked else (w * self.frames, h)


def generic_section(name, image, frames, cell, margins, extra=None, frame_key=True,
                    role="face", ini_margins=None, second=None):
    """A section read with the generic keys."""
    return dict(name=name, image=image, frames=frames, cell=cell, margins=margins,
                extra=extra or {}, frame_key=frame_key, role=role,
                ini_margins=ini_margins, second=second)


# ---------------------------------------------------------------------------------
# Geometry shared by both skins.

CAPTION_H = 28
BORDER_W = 5

GENERIC = [
    generic_section("Progress.Chunk", "chunk.bmp", 1, (8, 12), (0, 0, 0, 0), role="chunk"),
    generic_section("GroupBoxEdge", "groupedge.bmp", 2, (16, 16), (4, 4, 4, 4), role="edge"),
    generic_section("GroupBox", "groupbox.bmp", 1, (24, 18), (4, 4, 4, 4), frame_key=False,
                    extra={"BackgroundAlignment": "0", "BackgroundLeftShift": "6",
                           "BackgroundRightShift": "6"}, role="label"),
    generic_section("Tabs", "tabs.bmp", 5, (24, 22), (4, 4, 4, 4), frame_key=False, role="tab",
                    second=("Border", "tabborder.bmp", 1, (16, 16), (4, 4, 4, 4))),
    generic_section("StatusBarEdges", "statusbar.bmp", 3, (16, 20), (3, 3, 3, 3), role="status"),
    generic_section("Tab.Pane", "tabpane.bmp", 1, (32, 32), (4, 4, 4, 4), role="pane",
                    ini_margins=(6, 6, 6, 6)),
    generic_section("ToolBars", "toolbars.bmp", 5, (22, 22), (3, 3, 3, 3), role="toolbutton"),
    generic_section("ComboButton", "combobutton.bmp", 4, (17, 21), (2, 2, 2, 2), frame_key=False,
                    role="combobutton"),
    generic_section("SunkEdge", "sunkedge.bmp", 4, (20, 21), (3, 3, 3, 3), role="sunk"),
    generic_section("ExtraImages", "extra.bmp", 5, (17, 21), (0, 0, 0, 0), role="arrowdown"),
    generic_section("Headerbar", "header.bmp", 5, (24, 20), (3, 3, 3, 3), role="header"),
    generic_section("MenuItem", "menuitem.bmp", 5, (24, 20), (3, 3, 3, 3), role="menuitem"),
    generic_section("MenuBackground", "menubg.bmp", 1, (24, 24), (0, 0, 0, 0), role="menubg"),
    generic_section("Scrollbar", "scrollbar.bmp", 23, (16, 16), (2, 2, 2, 2), role="scrollparts"),
    generic_section("HorzScroll", "hscroll.bmp", 4, (16, 16), (3, 3, 3, 3), role="trackh"),
    generic_section("VertScroll", "vscroll.bmp", 4, (16, 16), (3, 3, 3, 3), role="trackv"),
    generic_section("HorzScrollThumb", "hthumb.bmp", 3, (20, 16), (4, 4, 4, 4), role="thumbh",
                    extra={"FrameCount": "3"}),
    generic_section("VertScrollThumb", "vthumb.bmp", 3, (16, 20), (4, 4, 4, 4), role="thumbv",
                    extra={"FrameCount": "3"}),
    generic_section("Trackbar.ThumbHorz", "tbhorz.bmp", 5, (11, 19), (0, 0, 0, 0), role="knob"),
    generic_section("Trackbar.ThumbVert", "tbvert.bmp", 5, (19, 11), (0, 0, 0, 0), role="knob"),
    generic_section("Trackbar.ThumbLeft", "tbleft.bmp", 5, (19, 11), (0, 0, 0, 0), role="knob"),
    generic_section("Trackbar.ThumbRight", "tbright.bmp", 5, (19, 11), (0, 0, 0, 0), role="knob"),
    generic_section("Trackbar.ThumbUp", "tbup.bmp", 5, (11, 19), (0, 0, 0, 0), role="knob"),
    generic_section("Trackbar.ThumbDown", "tbdown.bmp", 5, (11, 19), (0, 0, 0, 0), role="knob"),
    generic_section("UpDown.Horz", "updownh.bmp", 8, (16, 11), (2, 2, 2, 2), frame_key=False,
                    role="spin", second=("GlyphImage", "updownhglyph.bmp", 8, (7, 7), (0, 0, 0, 0))),
    generic_section("UpDown.Vert", "updownv.bmp", 8, (16, 11), (2, 2, 2, 2), frame_key=False,
                    role="spin", second=("GlyphImage", "updownvglyph.bmp", 8, (7, 7), (0, 0, 0, 0))),
    generic_section("Track", "track.bmp", 1, (16, 4), (3, 1, 3, 1), role="groove"),
    generic_section("TRACKVERT", "trackvert.bmp", 1, (4, 16), (1, 3, 1, 3), role="groove"),
]

# Caption buttons: section, Action, Align, Xcoord, Ycoord, Visibility, Visibility1,
# frame key (None: left out), frames drawn, glyph.
CAPTION_BUTTONS = [
    ("BUTTON.CLOSE", 0, 1, 26, 5, 0, 0, 4, 4, "close"),
    ("BUTTON.MAXIMIZE", 1, 1, 48, 5, 2, 6, 4, 4, "max"),
    ("BUTTON.RESTORE", 1, 1, 48, 5, 1, 6, 4, 4, "restore"),
    ("BUTTON.MINIMIZE", 2, 1, 70, 5, 6, 8, 4, 4, "min"),
    ("BUTTON.HELP", 4, 1, 48, 5, 10, 10, 4, 4, "help"),
    ("BUTTON.SYSMENU", 3, 0, 6, 6, 0, 0, 1, 1, "icon"),
]
# Only in the test skin: frame counts from the image ratio, a program-defined action,
# and a button the loader drops (Action -1 with a Visibility other than 0).
TEST_ONLY_BUTTONS = [
    ("BUTTON.RATIO3", 50, 0, 100, 5, 0, 0, None, 3, "plain"),
    ("BUTTON.RATIO6", 51, 0, 130, 5, 0, 0, None, 6, "plain"),
    ("BUTTON.DROPPED", -1, 0, 160, 5, 5, 0, 4, 4, "plain"),
]
BUTTON_CELL = (20, 18)
BUTTON_CELL_RATIO3 = (16, 14)   # 48 x 14: ratio 3.43, three frames
BUTTON_CELL_RATIO6 = (12, 14)   # 72 x 14: ratio 5.14, six frames


def build_elements(kind):
    """Every image of the skin, with the section/key that names it."""
    e = [
        Elem("Personality", "Left", "left.bmp", 2, (BORDER_W, 30), (0, 10, 0, 10), role="borderv"),
        Elem("Personality", "Right", "right.bmp", 2, (BORDER_W, 30), (0, 10, 0, 10), role="borderv"),
        Elem("Personality", "Top", "top.bmp", 2, (60, CAPTION_H), (10, 0, 10, 0), stacked=True,
             role="caption"),
        Elem("Personality", "Bottom", "bottom.bmp", 2, (60, BORDER_W), (10, 0, 10, 0), stacked=True,
             role="borderh"),
        Elem("Personality", "TextBack", "textback.bmp", 2, (40, 20), (6, 0, 6, 0), stacked=True,
             role="textback"),
        Elem("Personality", "menuBar", "menubar.bmp", 2, (28, 22), (4, 0, 4, 0), stacked=True,
             role="menubar"),
        Elem("MDICONTROLS", "Image", "mdicontrols.bmp", 12, (14, 14), (0, 0, 0, 0), role="mdi"),
        Elem("Buttons", "Bitmap", "button.bmp", 5, (24, 22), (4, 4, 4, 4), role="button"),
        Elem("Buttons", "CheckButton", "check.bmp", 12, (13, 13), (0, 0, 0, 0), role="check"),
        Elem("Buttons", "RadioButton", "radio.bmp", 8, (13, 13), (0, 0, 0, 0), role="radio"),
        Elem("Progress", "Bitmap", "progress.bmp", 2, (20, 16), (3, 3, 3, 3), role="progress"),
    ]
    for g in GENERIC:
        key = "Image"
        e.append(Elem(g["name"], key, g["image"], g["frames"], g["cell"], g["margins"],
                      ini_margins=g["ini_margins"], role=g["role"]))
        if g["second"]:
            skey, sfile, sframes, scell, smargins = g["second"]
            # The tabs' second image is the frame round the pages; the others are glyphs.
            e.append(Elem(g["name"], skey, sfile, sframes, scell, smargins,
                          role="pane" if g["name"] == "Tabs" else "glyph"))
    buttons = CAPTION_BUTTONS + (TEST_ONLY_BUTTONS if kind == "test" else [])
    for (sec, action, _a, _x, _y, _v, _v1, _fk, frames, glyph) in buttons:
        cell = BUTTON_CELL
        if sec == "BUTTON.RATIO3":
            cell = BUTTON_CELL_RATIO3
        elif sec == "BUTTON.RATIO6":
            cell = BUTTON_CELL_RATIO6
        elif glyph == "icon":
            cell = (16, 16)
        e.append(Elem(sec, "ButtonImage", sec.lower().replace(".", "_") + ".bmp", frames, cell,
                      (0, 0, 0, 0), role="cap_" + glyph))
    for i, el in enumerate(e):
        el.id = i + 1
    return e


# ---------------------------------------------------------------------------------
# Painting.

def slices(cell, margins):
    """The nine slice boxes (x0, y0, x1, y1) of one frame, row by row; empty ones None."""
    w, h = cell
    l, t, r, b = margins
    xs = [(0, l), (l, w - r), (w - r, w)]
    ys = [(0, t), (t, h - b), (h - b, h)]
    out = []
    for (y0, y1) in ys:
        for (x0, x1) in xs:
            out.append((x0, y0, x1, y1) if x1 > x0 and y1 > y0 else None)
    return out


def frame_origin(el, f):
    w, h = el.cell
    return (0, h * f) if el.stacked else (w * f, 0)


def paint_coded(el):
    img = Image.new("RGB", el.size(), (0, 0, 0))
    px = img.load()
    w, h = el.cell
    for f in range(el.frames):
        ox, oy = frame_origin(el, f)
        for s, box in enumerate(slices(el.cell, el.margins)):
            if box is None:
                continue
            colour = (el.id, f * 9 + s, 0x11)
            for y in range(box[1], box[3]):
                for x in range(box[0], box[2]):
                    px[ox + x, oy + y] = colour
        l, t, r, b = el.margins
        for (cx, cy, has) in ((0, 0, l and t), (w - 1, 0, r and t),
                              (0, h - 1, l and b), (w - 1, h - 1, r and b)):
            if has:
                px[ox + cx, oy + cy] = MAGENTA
    return img


# Default skin palette: light faces, a slate caption, a blue accent.
FACE = (240, 240, 240)
FACE_HOT = (229, 241, 251)
FACE_DOWN = (204, 228, 247)
FACE_OFF = (244, 244, 244)
EDGE = (173, 173, 173)
EDGE_HOT = (0, 120, 215)
EDGE_OFF = (204, 204, 204)
ACCENT = (0, 120, 215)
CAPTION_ACTIVE = ((52, 73, 94), (44, 62, 80))
CAPTION_INACTIVE = ((149, 165, 166), (127, 140, 141))
TEXT = (0, 0, 0)
TEXT_OFF = (160, 160, 160)
WHITE = (255, 255, 255)


def lerp(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def gradient(draw, box, top, bottom):
    x0, y0, x1, y1 = box
    n = max(1, y1 - y0)
    for y in range(y0, y1):
        draw.line([(x0, y), (x1 - 1, y)], fill=lerp(top, bottom, (y - y0) / max(1, n - 1)))


def state_colours(f):
    """Face and edge colours of state frame f (0 normal, 1 hot, 2 pressed, 3 disabled, 4 focused)."""
    return [(FACE, EDGE), (FACE_HOT, EDGE_HOT), (FACE_DOWN, EDGE_HOT), (FACE_OFF, EDGE_OFF),
            (FACE, ACCENT)][f % 5]


def rounded_face(draw, px, box, face, edge, shine=True):
    x0, y0, x1, y1 = box
    top = lerp(face, WHITE, 0.5) if shine else face
    gradient(draw, (x0, y0, x1, y1), top, face)
    draw.rectangle([x0, y0, x1 - 1, y1 - 1], outline=edge)
    for (cx, cy) in ((x0, y0), (x1 - 1, y0), (x0, y1 - 1), (x1 - 1, y1 - 1)):
        px[cx, cy] = MAGENTA


def triangle(draw, cx, cy, size, direction, colour):
    s = size
    pts = {"down": [(cx - s, cy - s // 2), (cx + s, cy - s // 2), (cx, cy + s // 2 + 1)],
           "up": [(cx - s, cy + s // 2), (cx + s, cy + s // 2), (cx, cy - s // 2 - 1)],
           "left": [(cx + s // 2, cy - s), (cx + s // 2, cy + s), (cx - s // 2 - 1, cy)],
           "right": [(cx - s // 2, cy - s), (cx - s // 2, cy + s), (cx + s // 2 + 1, cy)]}[direction]
    draw.polygon(pts, fill=colour)


def caption_glyph(draw, box, glyph, colour):
    x0, y0, x1, y1 = box
    cx, cy = (x0 + x1) // 2, (y0 + y1) // 2
    if glyph == "close":
        draw.line([(cx - 4, cy - 4), (cx + 4, cy + 4)], fill=colour, width=2)
        draw.line([(cx - 4, cy + 4), (cx + 4, cy - 4)], fill=colour, width=2)
    elif glyph == "max":
        draw.rectangle([cx - 4, cy - 4, cx + 4, cy + 4], outline=colour)
        draw.line([(cx - 4, cy - 3), (cx + 4, cy - 3)], fill=colour)
    elif glyph == "restore":
        draw.rectangle([cx - 2, cy - 5, cx + 5, cy + 2], outline=colour)
        draw.rectangle([cx - 5, cy - 2, cx + 2, cy + 5], fill=None, outline=colour)
    elif glyph == "min":
        draw.line([(cx - 4, cy + 3), (cx + 4, cy + 3)], fill=colour, width=2)
    elif glyph == "help":
        draw.arc([cx - 3, cy - 6, cx + 3, cy], 180, 90, fill=colour)
        draw.line([(cx, cy), (cx, cy + 2)], fill=colour)
        draw.point((cx, cy + 5), fill=colour)


def paint_default(el):
    img = Image.new("RGB", el.size(), FACE)
    draw = ImageDraw.Draw(img)
    px = img.load()
    w, h = el.cell
    role = el.role
    for f in range(el.frames):
        ox, oy = frame_origin(el, f)
        box = (ox, oy, ox + w, oy + h)
        active = f == 0
        face, edge = state_colours(f)
        if role in ("borderv", "borderh"):
            c = CAPTION_ACTIVE[1] if active else CAPTION_INACTIVE[1]
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=c)
            if role == "borderv":
                x = box[0] if el.key == "Left" else box[2] - 1
                draw.line([(x, box[1]), (x, box[3] - 1)], fill=lerp(c, TEXT, 0.4))
                # The window's rounded top corner, cut through the window region: the
                # outer corner of the side border's top end.
                step = 1 if el.key == "Left" else -1
                for (cx, cy) in ((x, box[1]), (x + step, box[1]), (x, box[1] + 1)):
                    px[cx, cy] = MAGENTA
            else:
                draw.line([(box[0], box[3] - 1), (box[2] - 1, box[3] - 1)], fill=lerp(c, TEXT, 0.4))
        elif role == "caption":
            top, bottom = CAPTION_ACTIVE if active else CAPTION_INACTIVE
            gradient(draw, box, top, bottom)
            draw.line([(box[0], box[1]), (box[2] - 1, box[1])], fill=lerp(top, WHITE, 0.25))
        elif role == "textback":
            # The caption shows through: the strip is all transparent.
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
        elif role == "menubar":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1],
                           fill=(248, 248, 248) if active else (240, 240, 240))
            draw.line([(box[0], box[3] - 1), (box[2] - 1, box[3] - 1)], fill=(218, 218, 218))
        elif role == "mdi":
            # 12 columns: close, restore, minimize groups of 4 states each.
            group = ["close", "restore", "min"][f // 4]
            st = f % 4
            face, edge = state_colours(st)
            rounded_face(draw, px, box, face, edge)
            caption_glyph(draw, box, group, TEXT_OFF if st == 3 else TEXT)
        elif role in ("button", "toolbutton", "header", "combobutton", "spin"):
            shine = role != "header"
            if role == "spin":
                # Four states per half (normal, pressed, disabled, hot), the halves one
                # after the other.
                face, edge = state_colours([0, 2, 3, 1][f % 4])
            if role == "toolbutton" and f == 0:
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
            else:
                rounded_face(draw, px, box, face, edge, shine)
            if role == "combobutton":
                triangle(draw, (box[0] + box[2]) // 2, (box[1] + box[3]) // 2, 3, "down",
                         TEXT_OFF if f == 3 else TEXT)
        elif role in ("check", "radio"):
            group, st = divmod(f, 4)
            face, edge = state_colours(st)
            if role == "check":
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=WHITE if st != 3 else FACE_OFF,
                               outline=edge if st else (118, 118, 118))
                mark = TEXT_OFF if st == 3 else (0, 95, 184)
                if group == 1:
                    draw.line([(box[0] + 3, box[1] + 6), (box[0] + 5, box[1] + 9),
                               (box[0] + 10, box[1] + 3)], fill=mark, width=2)
                elif group == 2:
                    draw.rectangle([box[0] + 3, box[1] + 3, box[0] + 9, box[1] + 9], fill=mark)
            else:
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
                draw.ellipse([box[0], box[1], box[2] - 1, box[3] - 1], fill=WHITE if st != 3 else FACE_OFF,
                             outline=edge if st else (118, 118, 118))
                if group == 1:
                    draw.ellipse([box[0] + 3, box[1] + 3, box[0] + 9, box[1] + 9],
                                 fill=TEXT_OFF if st == 3 else (0, 95, 184))
        elif role == "progress":
            # Frame 1 the empty trough, frame 2 the filled part over it.
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(230, 230, 230), outline=(188, 188, 188))
            if f == 1:
                gradient(draw, (box[0] + 1, box[1] + 1, box[2] - 1, box[3] - 1), (6, 176, 37), (4, 150, 30))
        elif role == "chunk":
            gradient(draw, box, (6, 176, 37), (4, 150, 30))
        elif role in ("edge", "pane", "status", "sunk", "label"):
            fill = WHITE if role in ("sunk", "pane") else FACE
            if role == "sunk" and f == 3:
                fill = FACE_OFF
            outline = EDGE_HOT if (role == "sunk" and f in (1, 2)) else (200, 200, 200)
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=fill, outline=outline)
            if role == "label":
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=FACE, outline=FACE)
        elif role == "tab":
            fill = WHITE if f == 1 else (FACE_HOT if f == 2 else FACE)
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=fill, outline=(200, 200, 200))
            if f == 1:
                draw.line([(box[0], box[1]), (box[2] - 1, box[1])], fill=ACCENT, width=2)
            px[box[0], box[1]] = MAGENTA
            px[box[2] - 1, box[1]] = MAGENTA
        elif role == "arrowdown":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
            if f == 4:
                # The fifth frame is the status bar's size grip: three diagonal lines.
                for i in range(3):
                    d = 4 + 4 * i
                    draw.line([(box[2] - 1 - d, box[3] - 1), (box[2] - 1, box[3] - 1 - d)], fill=EDGE)
            else:
                triangle(draw, (box[0] + box[2]) // 2, (box[1] + box[3]) // 2, 3, "down",
                         TEXT_OFF if f == 3 else TEXT)
        elif role == "menuitem":
            if f == 3:
                # The selected item's face, under "HilightText" (white): dark enough
                # to read.
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(0, 95, 184),
                               outline=(0, 84, 163))
            elif f in (1, 2):
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(204, 232, 255),
                               outline=(153, 209, 255))
            else:
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(242, 242, 242))
        elif role == "menubg":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(242, 242, 242))
        elif role == "scrollparts":
            # Arrow buttons left, right, up, down, each normal, pressed, disabled and
            # hot (the painter's order), then the grips.
            dirs = ["left", "right", "up", "down"]
            st = [0, 2, 3, 1][f % 4]
            face, edge = state_colours(st)
            if f < 16:
                rounded_face(draw, px, box, face, edge, shine=False)
                triangle(draw, (box[0] + box[2]) // 2, (box[1] + box[3]) // 2, 3, dirs[f // 4],
                         TEXT_OFF if st == 3 else (96, 96, 96))
            else:
                draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(232, 232, 232))
        elif role in ("trackh", "trackv"):
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1],
                           fill=(232, 232, 232) if f != 2 else (214, 214, 214))
        elif role in ("thumbh", "thumbv"):
            fill = [(205, 205, 205), (166, 166, 166), (96, 96, 96)][f % 3]
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(232, 232, 232))
            draw.rounded_rectangle([box[0] + 1, box[1] + 1, box[2] - 2, box[3] - 2], radius=3, fill=fill)
        elif role == "knob":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
            # The track bar always shows the second frame.
            fill = [(204, 204, 204), ACCENT, (23, 23, 23), (204, 204, 204), ACCENT][f % 5]
            draw.rounded_rectangle([box[0], box[1], box[2] - 1, box[3] - 1], radius=3, fill=fill)
        elif role == "glyph":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
            # Frames 1-4 are the first half's states, 5-8 the second's; state 3 disabled.
            direction = ["up", "down"][f // 4 % 2] if "updownv" in el.file else ["left", "right"][f // 4 % 2]
            triangle(draw, (box[0] + box[2]) // 2, (box[1] + box[3]) // 2, 2, direction,
                     TEXT_OFF if f % 4 == 2 else TEXT)
        elif role == "groove":
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=(214, 214, 214),
                           outline=(188, 188, 188))
        elif role.startswith("cap_"):
            glyph = role[4:]
            draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=MAGENTA)
            if glyph != "icon":
                hover = {1: (84, 110, 134), 2: (30, 44, 58)}.get(f)
                if glyph == "close" and f in (1, 2):
                    hover = (232, 17, 35) if f == 1 else (241, 112, 122)
                if hover:
                    draw.rectangle([box[0], box[1], box[2] - 1, box[3] - 1], fill=hover)
                caption_glyph(draw, box, glyph, (150, 160, 170) if f == 3 else WHITE)
    return img


# ---------------------------------------------------------------------------------
# The INI text.

def colour_text(c):
    return "%d %d %d" % c


def build_ini(kind, elements):
    coded = kind == "test"
    by_key = {(e.section, e.key): e for e in elements}
    lines = []
    values = []   # (section, key, value) for the manifest

    def section(name):
        lines.append("")
        lines.append("[%s]" % name)

    def put(sec, key, value):
        lines.append("%s=%s" % (key, value))
        values.append((sec, key, str(value)))

    lines.append("; %s skin, drawn by skingen.py" % ("Frame-coded test" if coded else "Default"))
    section("TitlebarSkin")
    put("TitlebarSkin", "SkinName", "Velmora Test" if coded else "Velmora Slate")

    section("Personality")
    for b in ("Left", "Right", "Top", "Bottom"):
        e = by_key[("Personality", b)]
        l, t, r, bm = e.margins
        put("Personality", b, e.file)
        if b in ("Left", "Right"):
            put("Personality", b + "TopHeight", t)
            put("Personality", b + "BotHeight", bm)
        else:
            put("Personality", b + "TopHeight", l)
            put("Personality", b + "BotHeight", r)
        put("Personality", b + "Frame", e.frames)
        put("Personality", b + "Stretch", 1)
        put("Personality", b + "Trans", 1)
    tb = by_key[("Personality", "TextBack")]
    put("Personality", "TextBack", tb.file)
    put("Personality", "TextShift", 30)
    put("Personality", "TextShiftVert", 0)
    put("Personality", "TextRightClip", 100)
    put("Personality", "TextAlignment", 0)
    put("Personality", "Textbackground", 1)
    put("Personality", "TXTBackleft", tb.margins[0])
    put("Personality", "TXTBackRight", tb.margins[2])
    active, inactive = ((21, 22, 23), (31, 32, 33)) if coded else ((255, 255, 255), (236, 240, 241))
    for name, c in (("ActiveText", active), ("InActiveText", inactive)):
        for ch, v in zip("RGB", c):
            put("Personality", name + ch, v)
    mb = by_key[("Personality", "menuBar")]
    put("Personality", "menuBar", mb.file)
    put("Personality", "TileMenu", 1)
    put("Personality", "TileLeftMenu", mb.margins[0])
    put("Personality", "TileRightMenu", mb.margins[2])

    section("Fonts")
    put("Fonts", "FontHeight", 14)

    section("Colours")
    colour_keys = ["WindowText", "TitleTextActive", "TitleTextNoActive", "ButtonFace", "ButtonText",
                   "ButtonHilight", "Buttonlight", "ButtonShadow", "ButtonDkShadow", "HilightText",
                   "Hilight", "Menubar", "MenuBarText", "MenuText", "Menu", "Scrollbar"]
    nice = {"WindowText": (0, 0, 0), "TitleTextActive": (255, 255, 255),
            "TitleTextNoActive": (236, 240, 241), "ButtonFace": FACE, "ButtonText": (0, 0, 0),
            "ButtonHilight": (255, 255, 255), "Buttonlight": (227, 227, 227),
            "ButtonShadow": (160, 160, 160), "ButtonDkShadow": (105, 105, 105),
            "HilightText": (255, 255, 255), "Hilight": ACCENT, "Menubar": (248, 248, 248),
            "MenuBarText": (0, 0, 0), "MenuText": (0, 0, 0), "Menu": (242, 242, 242),
            "Scrollbar": (232, 232, 232)}
    for i, key in enumerate(colour_keys):
        put("Colours", key, colour_text((200 + i, 10 * i, 0xC0) if coded else nice[key]))

    for i in range(5):
        section("Colour%d" % i)
        put("Colour%d" % i, "color", colour_text((120 + i, 7, 7) if coded else lerp(FACE, ACCENT, i / 8)))
    section("Customcolors")
    for i in range(10):
        put("Customcolors", "Color%d" % i, colour_text((130 + i, 9, 9) if coded else lerp(WHITE, ACCENT, i / 12)))

    buttons = CAPTION_BUTTONS + (TEST_ONLY_BUTTONS if coded else [])
    for (sec, action, align, x, y, vis, vis1, frame_key, _frames, _g) in buttons:
        section(sec)
        put(sec, "Action", action)
        put(sec, "Align", align)
        put(sec, "Xcoord", x)
        put(sec, "Ycoord", y)
        put(sec, "Visibility", vis)
        put(sec, "Visibility1", vis1)
        put(sec, "CombineOp", -1)
        if frame_key is not None:
            put(sec, "frame", frame_key)
        put(sec, "ButtonImage", by_key[(sec, "ButtonImage")].file)

    section("MDICONTROLS")
    put("MDICONTROLS", "Image", by_key[("MDICONTROLS", "Image")].file)

    section("Buttons")
    be = by_key[("Buttons", "Bitmap")]
    l, t, r, b = be.margins
    for k, v in (("LeftWidth", l), ("RightWidth", r), ("TopHeight", t), ("BottomHeight", b),
                 ("Trans", 1), ("Bitmap", be.file), ("Tile", 0),
                 ("CheckButton", by_key[("Buttons", "CheckButton")].file),
                 ("RadioButton", by_key[("Buttons", "RadioButton")].file)):
        put("Buttons", k, v)
    text = [(41, 42, 43), (44, 45, 46), (47, 48, 49), (51, 52, 53), (54, 55, 56), (57, 58, 59)] if coded \
        else [(0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0), (0, 0, 0)]
    for k, c in zip(("NormalColour", "MouseOverColour", "PressedColour"), text[:3]):
        put("Buttons", k, colour_text(c))
    put("Buttons", "RadioButtonFrame", 0)
    put("Buttons", "CheckButtonFrame", 0)
    for k, c in zip(("NormalColour2", "MouseOverColour2", "PressedColour2"), text[3:]):
        put("Buttons", k, colour_text(c))

    section("Progress")
    pe = by_key[("Progress", "Bitmap")]
    l, t, r, b = pe.margins
    for k, v in (("Bitmap", pe.file), ("Style", 0), ("LeftWidth", l), ("RightWidth", r),
                 ("TopHeight", t), ("BottomHeight", b), ("Trans", 0), ("Tile", 1)):
        put("Progress", k, v)

    for n, g in enumerate(GENERIC):
        sec = g["name"]
        section(sec)
        e = by_key[(sec, "Image")]
        l, t, r, b = g["ini_margins"] or e.margins
        put(sec, "Image", e.file)
        put(sec, "Style", 0)
        put(sec, "LeftWidth", l)
        put(sec, "RightWidth", r)
        put(sec, "TopHeight", t)
        put(sec, "BottomHeight", b)
        if g["frame_key"]:
            frame_value = e.frames
            if coded and sec == "MenuItem":
                frame_value = 3       # the loader forces 5 whatever the INI says
            if coded and sec == "Headerbar":
                frame_value = 0       # 0 means "use 5"
            put(sec, "Frame", frame_value)
        put(sec, "Trans", 1)
        put(sec, "Tile", 0)
        tc = [(60 + n, 1, 1), (60 + n, 2, 2), (60 + n, 3, 3)] if coded else [(0, 0, 0)] * 3
        for k, c in zip(("NormalColour", "MouseOverColour", "PressedColour"), tc):
            put(sec, k, colour_text(c))
        for k, c in zip(("NormalColour2", "MouseOverColour2", "PressedColour2"), tc):
            put(sec, k, colour_text(c))
        for k, v in g["extra"].items():
            put(sec, k, v)
        if g["second"]:
            skey = g["second"][0]
            put(sec, skey, by_key[(sec, skey)].file)
    return "\r\n".join(lines).lstrip("\r\n") + "\r\n", values


def write_bmp(img, path):
    img.convert("RGB").save(path, format="BMP")


def main(argv):
    if len(argv) != 3 or argv[1] not in ("test", "default"):
        sys.stderr.write(__doc__)
        return 2
    kind, out = argv[1], argv[2]
    os.makedirs(out, exist_ok=True)
    for name in os.listdir(out):
        if name.lower().endswith((".bmp", ".ini", ".txt")):
            os.remove(os.path.join(out, name))
    elements = build_elements(kind)
    for e in elements:
        write_bmp(paint_coded(e) if kind == "test" else paint_default(e), os.path.join(out, e.file))
    ini, values = build_ini(kind, elements)
    with open(os.path.join(out, "skin.ini"), "wb") as f:
        f.write(ini.encode("ascii"))
    if kind == "test":
        with open(os.path.join(out, "manifest.txt"), "w", newline="\n") as f:
            f.write("# Frame-coded test skin: red = image id, green = frame * 9 + slice, blue = 0x11;\n")
            f.write("# frames counted from 0, slices 0..8 row by row; magenta frame corners.\n")
            for e in elements:
                w, h = e.size()
                f.write("image id=%d section=%s key=%s file=%s width=%d height=%d frames=%d "
                        "stacked=%d frameWidth=%d frameHeight=%d left=%d top=%d right=%d bottom=%d\n"
                        % (e.id, e.section, e.key, e.file, w, h, e.frames, int(e.stacked),
                           e.cell[0], e.cell[1], *e.margins))
            for sec, key, value in values:
                f.write("value %s %s=%s\n" % (sec, key, value))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
