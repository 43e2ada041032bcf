#!/usr/bin/env python3
"""Draws Quillmoor's logo and icons: a quill over a moor at night.

Standard library only. Each pixel is the average of 6 x 6 samples of a
picture described in unit coordinates (x right, y down), so the edges are
smooth at every size. Writes 32-bit RGBA PNGs into app/qt/resources/:

    logo.png        55 x 53, the About window's picture
    icon32.png      32 x 32, the window icon
    iconN.png       N x N for N in 16, 48, 64, 128, 256, for the desktop

and quillmoor.svg, the same picture as shapes for scalable icon themes.
"""
import math
import os
import struct
import sys
import zlib

SAMPLES = 6

SKY_TOP = (22, 36, 71)
SKY_LOW = (52, 78, 122)
MOON = (244, 233, 196)
HILL_FAR = (92, 74, 122)    # heather
HILL_NEAR = (58, 96, 70)    # moor grass
VANE = (247, 241, 226)
VANE_SHADE = (214, 203, 180)
SHAFT = (120, 96, 64)
NIB = (40, 34, 30)


def inside_rounded_square(x, y, radius):
    cx = min(max(x, radius), 1 - radius)
    cy = min(max(y, radius), 1 - radius)
    return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius


def feather(x, y):
    """Colour of the quill at (x, y), or None outside it."""
    ax, ay, bx, by = 0.20, 0.90, 0.86, 0.10
    length = math.hypot(bx - ax, by - ay)
    ux, uy = (bx - ax) / length, (by - ay) / length
    t = ((x - ax) * ux + (y - ay) * uy) / length   # 0 at the nib, 1 at the tip
    d = (x - ax) * -uy + (y - ay) * ux             # across the shaft, > 0 above-left
    if t < 0 or t > 1.02:
        return None
    if t < 0.13:                                    # the nib: a dark point
        if abs(d) <= 0.032 * t / 0.13:
            return NIB
        return None
    if 0.24 <= t <= 1.0:
        s = (t - 0.24) / 0.76
        bulge = math.sin(math.pi * s ** 0.8)
        wide = 0.20 * bulge                         # the outer vane is wider
        narrow = 0.10 * bulge
        notch = 0.52 <= t <= 0.56 and d > wide * 0.45  # a split in the vane
        if 0 < d <= wide and not notch:
            return VANE
        if -narrow <= d <= 0:
            return VANE_SHADE
    if abs(d) <= 0.014 and t <= 0.97:
        return SHAFT
    return None


FEATHER_NIB = (0.20, 0.90)
FEATHER_TIP = (0.86, 0.10)


def quill_point(t, d):
    """The point t along the quill (0 nib, 1 tip) and d across it."""
    (ax, ay), (bx, by) = FEATHER_NIB, FEATHER_TIP
    ux, uy = bx - ax, by - ay
    length = math.hypot(ux, uy)
    return (ax + t * ux - d * uy / length, ay + t * uy + d * ux / length)


def vane_widths(t):
    s = (t - 0.24) / 0.76
    bulge = math.sin(math.pi * max(s, 0) ** 0.8)
    return 0.20 * bulge, 0.10 * bulge


def picture(x, y):
    """RGBA of the picture at a point of the unit square."""
    if not inside_rounded_square(x, y, 0.18):
        return None
    q = feather(x, y)
    if q is not None:
        return q
    if y > 0.80 + 0.05 * math.sin(x * 5.5 + 0.6):
        return HILL_NEAR
    if y > 0.70 + 0.07 * math.sin(x * 4.0 + 2.2):
        return HILL_FAR
    mx, my = 0.27, 0.26
    if (x - mx) ** 2 + (y - my) ** 2 <= 0.11 ** 2 and \
            (x - mx - 0.05) ** 2 + (y - my + 0.035) ** 2 > 0.095 ** 2:
        return MOON
    k = min(max(y / 0.8, 0), 1)
    return tuple(round(a + (b - a) * k) for a, b in zip(SKY_TOP, SKY_LOW))


def render(width, height):
    side = min(width, height)
    ox, oy = (width - side) / 2, (height - side) / 2
    rows = []
    for py in range(height):
        row = bytearray()
        for px in range(width):
            r = g = b = a = 0
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px - ox + (sx + 0.5) / SAMPLES) / side
                    y = (py - oy + (sy + 0.5) / SAMPLES) / side
                    c = picture(x, y) if 0 <= x <= 1 and 0 <= y <= 1 else None
                    if c is not None:
                        r, g, b, a = r + c[0], g + c[1], b + c[2], a + 1
            if a:
                row += bytes((r // a, g // a, b // a, round(255 * a / SAMPLES ** 2)))
            else:
                row += bytes(4)
        rows.append(bytes(row))
    return rows


def write_png(path, width, height, rows):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    raw = b"".join(b"\x00" + row for row in rows)
    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def svg_colour(c):
    return "#%02x%02x%02x" % c


def svg_points(points, size=256):
    return " ".join("%.1f,%.1f" % (x * size, y * size) for x, y in points)


def svg_hill(base, amplitude, frequency, phase):
    edge = [(i / 64, base + amplitude * math.sin(i / 64 * frequency + phase)) for i in range(65)]
    return svg_points(edge + [(1, 1), (0, 1)])


def svg():
    """The picture of picture() as SVG shapes on a 256-unit square."""
    steps = [0.24 + 0.76 * i / 64 for i in range(65)]
    outer = []
    for t in steps:
        wide = vane_widths(t)[0]
        outer.append(quill_point(t, wide * 0.45 if 0.52 <= t <= 0.56 else wide))
    vane = [quill_point(t, 0) for t in steps] + outer[::-1]
    shade = [quill_point(t, 0) for t in steps] + [quill_point(t, -vane_widths(t)[1])
                                                 for t in steps[::-1]]
    nib = [quill_point(0, 0), quill_point(0.13, 0.032), quill_point(0.13, -0.032)]
    shaft = [quill_point(0.13, 0.014), quill_point(0.97, 0.014),
             quill_point(0.97, -0.014), quill_point(0.13, -0.014)]
    moon = (0.27 * 256, 0.26 * 256, 0.11 * 256)
    bite = (0.32 * 256, 0.225 * 256, 0.095 * 256)
    return f"""<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="256" height="256" viewBox="0 0 256 256">
  <title>Quillmoor</title>
  <defs>
    <linearGradient id="sky" x1="0" y1="0" x2="0" y2="204.8" gradientUnits="userSpaceOnUse">
      <stop offset="0" stop-color="{svg_colour(SKY_TOP)}"/>
      <stop offset="1" stop-color="{svg_colour(SKY_LOW)}"/>
    </linearGradient>
    <clipPath id="square"><rect width="256" height="256" rx="46.08"/></clipPath>
    <mask id="crescent">
      <circle cx="{moon[0]:.2f}" cy="{moon[1]:.2f}" r="{moon[2]:.2f}" fill="#fff"/>
      <circle cx="{bite[0]:.2f}" cy="{bite[1]:.2f}" r="{bite[2]:.2f}" fill="#000"/>
    </mask>
  </defs>
  <g clip-path="url(#square)">
    <rect width="256" height="256" fill="url(#sky)"/>
    <circle cx="{moon[0]:.2f}" cy="{moon[1]:.2f}" r="{moon[2]:.2f}" fill="{svg_colour(MOON)}" mask="url(#crescent)"/>
    <polygon points="{svg_hill(0.70, 0.07, 4.0, 2.2)}" fill="{svg_colour(HILL_FAR)}"/>
    <polygon points="{svg_hill(0.80, 0.05, 5.5, 0.6)}" fill="{svg_colour(HILL_NEAR)}"/>
    <polygon points="{svg_points(shaft)}" fill="{svg_colour(SHAFT)}"/>
    <polygon points="{svg_points(nib)}" fill="{svg_colour(NIB)}"/>
    <polygon points="{svg_points(shade)}" fill="{svg_colour(VANE_SHADE)}"/>
    <polygon points="{svg_points(vane)}" fill="{svg_colour(VANE)}"/>
  </g>
</svg>
"""


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "app", "qt", "resources")
    images = [("logo.png", 55, 53)] + [("icon%d.png" % n, n, n) for n in (16, 32, 48, 64, 128, 256)]
    for name, w, h in images:
        write_png(os.path.join(out, name), w, h, render(w, h))
    with open(os.path.join(out, "quillmoor.svg"), "w") as f:
        f.write(svg())


if __name__ == "__main__":
    main()
