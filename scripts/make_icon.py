#!/usr/bin/env python3
"""Draws the application icon (icon 116) and writes it as a Windows .ico.

The file holds three images:
  16 x 16 and 32 x 32 with a 16-colour palette (4 bits per pixel),
  48 x 48 with a 256-colour palette (8 bits per pixel).

Each image is a BITMAPINFOHEADER DIB with the colour (XOR) bitmap and the
1-bit transparency (AND) mask, as the icon format expects.  Only the Python
standard library is used, so the output is reproducible anywhere.

Usage: scripts/make_icon.py [output.ico]   (default resources/app.ico)
"""

import os
import struct
import sys

# The classic 16-colour palette; the small images use it unchanged.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]

# Roles of the picture and their colours in the 16-colour palette.
ROLE16 = {
    "clear": 0,        # transparent (the AND mask hides it)
    "outline": 0,      # black
    "body": 7,         # light grey
    "body_light": 15,  # white
    "body_dark": 8,    # dark grey
    "label": 4,        # navy
    "label_text": 15,  # white
    "led_on": 9,       # red
    "led_ok": 10,      # green
    "pin": 11,         # yellow
    "pin_dark": 3,     # olive
    "cable": 0,        # black
    "plug": 8,         # dark grey
    "plug_light": 7,   # light grey
}

# The 48 x 48 image gets softer colours and shading from a 256-entry palette.
RGB256 = {
    "clear": (0x00, 0x00, 0x00),
    "outline": (0x2A, 0x34, 0x40),
    "body": (0xDC, 0xE2, 0xE9),
    "body_light": (0xF6, 0xF8, 0xFA),
    "body_dark": (0xA8, 0xB2, 0xBE),
    "label": (0x2F, 0x5F, 0x8F),
    "label_text": (0xFF, 0xFF, 0xFF),
    "led_on": (0xD0, 0x18, 0x30),
    "led_ok": (0x30, 0xA0, 0x40),
    "pin": (0xD8, 0xAE, 0x48),
    "pin_dark": (0x8A, 0x6A, 0x20),
    "cable": (0x30, 0x30, 0x30),
    "plug": (0x80, 0x88, 0x90),
    "plug_light": (0xC4, 0xCA, 0xD0),
}
ROLE256 = {name: i for i, name in enumerate(RGB256)}


class Canvas:
    """A square of palette indices with a transparency flag per pixel."""

    def __init__(self, size, roles):
        self.size = size
        self.roles = roles
        self.index = [[roles["clear"]] * size for _ in range(size)]
        self.opaque = [[False] * size for _ in range(size)]

    def put(self, x, y, role):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.index[y][x] = self.roles[role]
            self.opaque[y][x] = True

    def fill(self, x0, y0, x1, y1, role):
        """Fills the pixels x0..x1, y0..y1 (both ends included)."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, role)

    def frame(self, x0, y0, x1, y1, role, corner=0):
        """Outlines x0..x1, y0..y1; corner > 0 cuts that many pixels diagonally."""
        for x in range(x0 + corner, x1 - corner + 1):
            self.put(x, y0, role)
            self.put(x, y1, role)
        for y in range(y0 + corner, y1 - corner + 1):
            self.put(x0, y, role)
            self.put(x1, y, role)
        for k in range(1, corner):
            self.put(x0 + k, y0 + corner - k, role)
            self.put(x1 - k, y0 + corner - k, role)
            self.put(x0 + k, y1 - corner + k, role)
            self.put(x1 - k, y1 - corner + k, role)

    def clear(self, x, y):
        self.index[y][x] = self.roles["clear"]
        self.opaque[y][x] = False

    def disc(self, cx, cy, r, role):
        for y in range(int(cy - r) - 1, int(cy + r) + 2):
            for x in range(int(cx - r) - 1, int(cx + r) + 2):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, role)


# Pixel layout of the picture per image size; every range includes both ends.
LAYOUT = {
    16: dict(cable=(0, 7, 1, 8), plug=(1, 6, 3, 10), body=(3, 2, 15, 14), corner=1,
             label=(5, 4, 13, 5), text=None, leds=((10, 8), (13, 8)), led_r=0,
             pins=(5, 11, 1, 2, 5), pin_shadow=False),
    32: dict(cable=(0, 15, 2, 16), plug=(2, 11, 6, 20), body=(6, 4, 31, 29), corner=2,
             label=(9, 7, 28, 11), text=(11, 9, 1), leds=((21.5, 17.5), (27.5, 17.5)), led_r=2.3,
             pins=(8, 22, 2, 4, 8), pin_shadow=True),
    48: dict(cable=(0, 22, 4, 25), plug=(4, 16, 10, 31), body=(10, 5, 47, 43), corner=3,
             label=(14, 9, 43, 15), text=(17, 11, 2), leds=((33.5, 25.5), (41.0, 25.5)), led_r=2.7,
             pins=(14, 32, 3, 6, 8), pin_shadow=True),
}


def draw_module(c, shaded):
    """A module box with a label strip, two LEDs and a row of terminals,
    fed by a cable with a plug from the left."""
    L = LAYOUT[c.size]

    # Cable and plug on the left.
    c.fill(*L["cable"], "cable")
    px0, py0, px1, py1 = L["plug"]
    c.fill(px0, py0, px1, py1, "plug")
    c.frame(px0, py0, px1, py1, "outline")
    if c.size >= 32:
        c.fill(px0 + 1, py0 + 1, px1 - 1, py0 + 1, "plug_light")

    # Body with rounded corners.
    bx0, by0, bx1, by1 = L["body"]
    corner = L["corner"]
    for y in range(by0 + 1, by1):
        role = "body"
        if shaded:
            # Light from above: a bright band on top, a darker one at the bottom.
            t = (y - by0) / float(by1 - by0)
            role = "body_light" if t < 0.12 else ("body_dark" if t > 0.86 else "body")
        elif c.size >= 32 and y == by0 + 1:
            role = "body_light"
        c.fill(bx0 + 1, y, bx1 - 1, y, role)
    for k in range(corner):  # cut the corners off
        for j in range(corner - k):
            for (x, y) in ((bx0 + j, by0 + k), (bx1 - j, by0 + k),
                           (bx0 + j, by1 - k), (bx1 - j, by1 - k)):
                c.clear(x, y)
    c.frame(bx0, by0, bx1, by1, "outline", corner)

    # Label strip with a few white "letters".
    c.fill(*L["label"], "label")
    if L["text"]:
        tx, ty, th = L["text"]
        for width in (4, 3, 4):
            c.fill(tx, ty, tx + width - 1, ty + th - 1, "label_text")
            tx += width + 2

    # Two LEDs: green (power) and red (setting mode).
    (gx, gy), (rx, ry) = L["leds"]
    if L["led_r"]:
        c.disc(gx, gy, L["led_r"], "led_ok")
        c.disc(rx, ry, L["led_r"], "led_on")
    else:
        c.put(gx, gy, "led_ok")
        c.put(rx, ry, "led_on")

    # Terminals along the bottom edge.
    x, y, width, height, count = L["pins"]
    for i in range(count):
        x0 = x + i * (width + 1 if c.size >= 32 else 2)
        c.fill(x0, y, x0 + width - 1, y + height - 1, "pin")
        if L["pin_shadow"]:
            c.fill(x0, y + height, x0 + width - 1, y + height, "pin_dark")


def dib(c, bpp, palette):
    """The DIB of one icon image: header, palette, XOR bitmap, AND mask."""
    n = c.size
    xor_stride = ((n * bpp + 31) // 32) * 4
    and_stride = ((n + 31) // 32) * 4
    xor = bytearray()
    mask = bytearray()
    for y in reversed(range(n)):  # bottom-up rows
        row = bytearray(xor_stride)
        for x in range(n):
            v = c.index[y][x] if c.opaque[y][x] else 0
            if bpp == 8:
                row[x] = v
            else:
                row[x // 2] |= v << (4 if x % 2 == 0 else 0)
        xor += row
        mrow = bytearray(and_stride)
        for x in range(n):
            if not c.opaque[y][x]:
                mrow[x // 8] |= 0x80 >> (x % 8)
        mask += mrow
    colours = 1 << bpp
    pal = bytearray()
    for i in range(colours):
        r, g, b = palette[i] if i < len(palette) else (0, 0, 0)
        pal += bytes((b, g, r, 0))
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, bpp, 0,
                         len(xor) + len(mask), 0, 0, 0, 0)
    return header + pal + xor + mask


def build():
    images = []
    for n in (16, 32):
        c = Canvas(n, ROLE16)
        draw_module(c, shaded=False)
        images.append((n, 4, 16, dib(c, 4, VGA16)))
    c = Canvas(48, ROLE256)
    draw_module(c, shaded=True)
    images.append((48, 8, 0, dib(c, 8, list(RGB256.values()))))

    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for n, bpp, colours, data in images:
        out += struct.pack("<BBBBHHII", n, n, colours, 0, 1, bpp, len(data), offset)
        offset += len(data)
    for _, _, _, data in images:
        out += data
    return bytes(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = sys.argv[1] if len(sys.argv) > 1 else os.path.normpath(os.path.join(here, "..", "resources", "app.ico"))
    data = build()
    with open(path, "wb") as f:
        f.write(data)
    print("%s: %d bytes" % (path, len(data)))


if __name__ == "__main__":
    main()
