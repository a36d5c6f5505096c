#!/usr/bin/env python3
"""Draws the module's bitmap and icons and writes them into src/res.

    certificates.bmp  bitmap 201: two 16x16 list images side by side, 4 bpp
    token.ico         icon 210: certificates group (a certificate with a seal)
    password.ico      icon 211: PKI storage (a key)
    pin.ico           icon 212: user PIN (a keypad)

Everything is drawn here from simple shapes in the 16-colour Windows palette;
the outputs are checked in, so run this only after changing a drawing:

    python3 scripts/gen-images.py [output dir]
"""
import math
import os
import struct
import sys

# The 16-colour palette of Windows (the VGA colours in Windows' index order).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, DARK_RED, DARK_GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)

GREYS = [BLACK, GREY, SILVER, WHITE]


def to_grey(index):
    """Nearest of the four greys by luminance, so the grey image keeps the shapes."""
    r, g, b = PALETTE[index]
    lum = 0.299 * r + 0.587 * g + 0.114 * b
    return min(GREYS, key=lambda i: abs(PALETTE[i][0] - lum))


class Canvas:
    """Pixels as palette indices; None is transparent (icons only)."""

    def __init__(self, size, fill=None):
        self.size = size
        self.px = [[fill] * size for _ in range(size)]

    def put(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        """Filled rectangle, both corners inclusive."""
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        self.rect(x0, y0, x1, y0, c)
        self.rect(x0, y1, x1, y1, c)
        self.rect(x0, y0, x0, y1, c)
        self.rect(x1, y0, x1, y1, c)

    def disc(self, cx, cy, r, c):
        """Filled circle around the pixel-grid point (cx, cy) (may be a half pixel)."""
        for y in range(self.size):
            for x in range(self.size):
                if (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2 <= r * r:
                    self.put(x, y, c)

    def ring(self, cx, cy, r_out, r_in, c):
        for y in range(self.size):
            for x in range(self.size):
                d = (x + 0.5 - cx) ** 2 + (y + 0.5 - cy) ** 2
                if r_in * r_in < d <= r_out * r_out:
                    self.put(x, y, c)

    def polygon(self, points, c):
        """Filled polygon (even-odd rule, sampled at pixel centres)."""
        for y in range(self.size):
            for x in range(self.size):
                if inside(points, x + 0.5, y + 0.5):
                    self.put(x, y, c)

    def from_rows(self, rows, keys):
        for y, row in enumerate(rows):
            assert len(row) == self.size, (y, row)
            for x, ch in enumerate(row):
                self.px[y][x] = keys[ch]


def inside(points, x, y):
    hit = False
    n = len(points)
    for i in range(n):
        (x0, y0), (x1, y1) = points[i], points[(i + 1) % n]
        if (y0 > y) != (y1 > y) and x < x0 + (y - y0) * (x1 - x0) / (y1 - y0):
            hit = not hit
    return hit


def rotated_bar(cx, cy, length, width, angle, start=0.0):
    """Corners of a bar that runs from (cx, cy) along `angle` (radians)."""
    dx, dy = math.cos(angle), math.sin(angle)
    nx, ny = -dy, dx
    a = (cx + dx * start, cy + dy * start)
    b = (cx + dx * (start + length), cy + dy * (start + length))
    hw = width / 2.0
    return [(a[0] + nx * hw, a[1] + ny * hw), (b[0] + nx * hw, b[1] + ny * hw),
            (b[0] - nx * hw, b[1] - ny * hw), (a[0] - nx * hw, a[1] - ny * hw)]


# ---------------------------------------------------------------- drawings

# The small certificate of the list: a sheet with a title line, two text lines
# and a red seal with ribbons; white around it because the list shows the bitmap
# without a mask on its white background.
LIST_CERTIFICATE = [
    "................",
    ".KKKKKKKKKKKKK..",
    ".KWWWWWWWWWWWKD.",
    ".KWNNNNNNNNNWKD.",
    ".KWWWWWWWWWWWKD.",
    ".KWSSSSSSSSSWKD.",
    ".KWWWWWWWWWWWKD.",
    ".KWSSSSSSWWWWKD.",
    ".KWWWWWWWrrrWKD.",
    ".KWSSSSWrryrrKD.",
    ".KWWWWWWrrrrrKD.",
    ".KWWWWWWWrrrWKD.",
    ".KKKKKKKKRKRKKD.",
    "..DDDDDDDRDRDDD.",
    ".........R.R....",
    "................",
]
LIST_KEYS = {".": WHITE, "K": BLACK, "W": WHITE, "D": GREY, "N": NAVY, "S": SILVER,
             "r": RED, "y": YELLOW, "R": DARK_RED}


def list_images():
    colour = Canvas(16)
    colour.from_rows(LIST_CERTIFICATE, LIST_KEYS)
    grey = Canvas(16)
    grey.px = [[to_grey(c) for c in row] for row in colour.px]
    return colour, grey


def certificate_icon(size):
    """Icon 210: a certificate sheet with text lines and a red seal with ribbons."""
    c = Canvas(size)
    if size == 32:
        c.rect(3, 5, 29, 26, GREY)            # shadow
        c.rect(1, 3, 27, 24, WHITE)
        c.frame(1, 3, 27, 24, BLACK)
        c.frame(3, 5, 25, 22, SILVER)         # decorative border
        c.rect(6, 7, 22, 8, NAVY)             # title
        for y, x1 in ((11, 22), (14, 20), (17, 14), (20, 12)):
            c.rect(6, y, x1, y, GREY)
        c.polygon([(17, 22), (20, 22), (19, 31), (17, 29)], DARK_RED)   # ribbons
        c.polygon([(22, 22), (25, 22), (25, 29), (23, 31)], DARK_RED)
        c.disc(21, 20, 6, DARK_RED)
        c.disc(21, 20, 5, RED)
        c.disc(21, 20, 2.3, YELLOW)
    else:
        c.rect(2, 3, 15, 13, GREY)
        c.rect(0, 2, 13, 12, WHITE)
        c.frame(0, 2, 13, 12, BLACK)
        c.rect(2, 4, 11, 4, NAVY)
        c.rect(2, 6, 9, 6, GREY)
        c.rect(2, 8, 6, 8, GREY)
        c.rect(8, 12, 9, 15, DARK_RED)
        c.rect(12, 12, 13, 15, DARK_RED)
        c.put(8, 15, None)
        c.put(13, 15, None)
        c.disc(11, 10, 3.2, DARK_RED)
        c.disc(11, 10, 2.4, RED)
        c.rect(10, 9, 11, 10, YELLOW)
    return c


def small_key():
    """Icon 211 at 16x16, on whole pixels: shapes this thin alias when sampled."""
    c = Canvas(16)

    def dist(x, y):
        return math.hypot(x - 4.5, y - 4.5)

    def gold(x, y):
        bow = dist(x, y) <= 3.4
        shaft = abs(x - y) <= 1 and 11 <= x + y <= 28
        teeth = x - y in (-2, -3) and (x + y in (20, 21) or x + y in (25, 26))
        return bow or shaft or teeth

    for y in range(16):
        for x in range(16):
            if gold(x, y):
                c.put(x, y, OLIVE if dist(x, y) <= 1.9 else YELLOW)
            elif any(gold(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1))):
                c.put(x, y, OLIVE)
    c.rect(4, 4, 5, 5, None)                      # hole of the bow
    return c


def key_icon(size):
    """Icon 211: a gold key lying diagonally, bow at the upper left."""
    if size == 16:
        return small_key()
    c = Canvas(size)
    s = size / 32.0
    angle = math.radians(45)
    bx, by = 9.5 * s, 9.5 * s
    down = angle + math.pi / 2

    def parts(grow):
        shaft = rotated_bar(bx, by, 23 * s + grow, 4.5 * s + 2 * grow, angle, start=6 * s)
        teeth = []
        for along, depth in ((19.5 * s, 5.5 * s), (25 * s, 4 * s)):
            tx, ty = bx + math.cos(angle) * along, by + math.sin(angle) * along
            teeth.append(rotated_bar(tx, ty, depth + grow, 3.5 * s + 2 * grow, down))
        return [shaft] + teeth

    # Everything once in olive, a little larger, then in gold: the olive shows as outline.
    for grow, col in ((0.8, OLIVE), (-0.45, YELLOW)):
        for poly in parts(grow):
            c.polygon(poly, col)
        c.disc(bx, by, 8 * s + grow, col)
    c.disc(bx, by, 2.8 * s + 0.8, OLIVE)
    c.disc(bx, by, 2.8 * s - 0.2, None)          # hole of the bow
    if size == 32:
        c.rect(5, 5, 6, 6, WHITE)                 # shine
    return c


def keypad_icon(size):
    """Icon 212: a keypad with a display showing a masked PIN."""
    c = Canvas(size)
    if size == 32:
        c.rect(5, 1, 27, 30, SILVER)
        c.frame(5, 1, 27, 30, BLACK)
        c.rect(26, 2, 26, 29, GREY)               # shaded right and bottom edge
        c.rect(6, 29, 26, 29, GREY)
        c.rect(8, 4, 24, 10, DARK_GREEN)
        c.frame(8, 4, 24, 10, BLACK)
        for x in (10, 14, 18):                    # "***"
            c.rect(x, 6, x + 2, 8, GREEN)
        for row in range(3):
            for col in range(3):
                x, y = 8 + col * 6, 13 + row * 5
                c.rect(x, y, x + 4, y + 3, WHITE)
                c.rect(x + 1, y + 3, x + 4, y + 3, GREY)
                c.rect(x + 4, y, x + 4, y + 3, GREY)
    else:
        c.rect(2, 0, 13, 15, SILVER)
        c.frame(2, 0, 13, 15, BLACK)
        c.rect(4, 2, 11, 4, DARK_GREEN)
        for x in (5, 7, 9):
            c.put(x, 3, GREEN)
        for row in range(3):
            for col in range(3):
                c.rect(4 + col * 3, 6 + row * 3, 5 + col * 3, 7 + row * 3, WHITE)
    return c


# ---------------------------------------------------------------- file formats

def pack_rows(pixels, width, bpp):
    """Bottom-up DIB rows, each padded to 4 bytes."""
    out = bytearray()
    for row in reversed(pixels):
        bits = 0
        nbits = 0
        line = bytearray()
        for x in range(width):
            bits = (bits << bpp) | row[x]
            nbits += bpp
            if nbits == 8:
                line.append(bits)
                bits, nbits = 0, 0
        if nbits:
            line.append(bits << (8 - nbits))
        while len(line) % 4:
            line.append(0)
        out += line
    return bytes(out)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)


def info_header(width, height, bpp, image_size):
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bpp, 0, image_size, 0, 0,
                       len(PALETTE), 0)


def write_bmp(path, pixels, width, height):
    bits = pack_rows(pixels, width, 4)
    header = info_header(width, height, 4, len(bits)) + palette_bytes()
    offset = 14 + len(header)
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset))
        f.write(header)
        f.write(bits)


def icon_image(canvas):
    n = canvas.size
    colour = [[BLACK if p is None else p for p in row] for row in canvas.px]
    mask = [[1 if p is None else 0 for p in row] for row in canvas.px]
    xor = pack_rows(colour, n, 4)
    andm = pack_rows(mask, n, 1)
    # The icon header's height covers the colour and the mask bitmap together.
    return info_header(n, 2 * n, 4, len(xor) + len(andm)) + palette_bytes() + xor + andm


def write_ico(path, canvases):
    images = [icon_image(c) for c in canvases]
    out = bytearray(struct.pack("<HHH", 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.size, c.size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    for data in images:
        out += data
    with open(path, "wb") as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "src", "res")
    colour, grey = list_images()
    strip = [colour.px[y] + grey.px[y] for y in range(16)]
    write_bmp(os.path.join(out, "certificates.bmp"), strip, 32, 16)
    write_ico(os.path.join(out, "token.ico"), [certificate_icon(32), certificate_icon(16)])
    write_ico(os.path.join(out, "password.ico"), [key_icon(32), key_icon(16)])
    write_ico(os.path.join(out, "pin.ico"), [keypad_icon(32), keypad_icon(16)])


if __name__ == "__main__":
    main()
