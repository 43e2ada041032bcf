#!/usr/bin/env python3
"""Draws the Windows program's icon and About logo from tools/draw-icons.py.

Standard library only. Writes into app/win32/resources/ (or the folder given):

    quillmoor.ico   16, 24, 32, 48, 64, 128 and 256 px at 32 bits per pixel
                    (256 as PNG, as Windows expects), and a 32 x 32 image in
                    256 colours for displays and tools that want one
    logo.bmp        55 x 53 at 32 bits per pixel, straight alpha, bottom-up
"""
import importlib.util
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
_spec = importlib.util.spec_from_file_location("draw_icons", os.path.join(HERE, "draw-icons.py"))
draw = importlib.util.module_from_spec(_spec)
_spec.loader.exec_module(draw)

SIZES = (16, 24, 32, 48, 64, 128, 256)


def bitmap_header(width, height, bits, colours=0):
    # BITMAPINFOHEADER; in an icon the height counts the colour and mask rows.
    return struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, 0, 0, 0, colours, 0)


def and_mask(rows, width, opaque):
    stride = ((width + 31) // 32) * 4
    out = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x in range(width):
            if not opaque(row[4 * x + 3]):
                line[x // 8] |= 0x80 >> (x % 8)
        out += line
    return bytes(out)


def bgra_rows(rows):
    out = bytearray()
    for row in reversed(rows):
        for x in range(0, len(row), 4):
            r, g, b, a = row[x:x + 4]
            out += bytes((b, g, r, a))
    return bytes(out)


def icon_32bpp(size, rows):
    return (bitmap_header(size, size * 2, 32) + bgra_rows(rows) +
            and_mask(rows, size, lambda a: a > 0))


def icon_png(size, rows):
    path = os.path.join(HERE, ".icon-%d.png" % size)
    draw.write_png(path, size, size, rows)
    with open(path, "rb") as f:
        data = f.read()
    os.remove(path)
    return data


def icon_8bpp(size, rows):
    """The picture in at most 256 colours: the most frequent ones, the rest
    mapped to the nearest; pixels under half opacity are left to the mask."""
    counts = {}
    pixels = []
    for row in rows:
        for x in range(size):
            r, g, b, a = row[4 * x:4 * x + 4]
            colour = (r, g, b) if a >= 128 else None
            pixels.append(colour)
            if colour:
                counts[colour] = counts.get(colour, 0) + 1
    palette = sorted(counts, key=lambda c: -counts[c])[:255]
    palette.insert(0, (0, 0, 0))  # index 0: under the mask
    index = {c: i for i, c in enumerate(palette)}

    def nearest(c):
        if c in index:
            return index[c]
        return min(range(1, len(palette)),
                   key=lambda i: sum((p - q) ** 2 for p, q in zip(palette[i], c)))
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (size + 3) // 4 * 4
    body = bytearray()
    for y in reversed(range(size)):
        line = bytearray(stride)
        for x in range(size):
            c = pixels[y * size + x]
            line[x] = nearest(c) if c else 0
        body += line
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
    return (bitmap_header(size, size * 2, 8, 256) + table + bytes(body) +
            and_mask(rows, size, lambda a: a >= 128))


def write_ico(path):
    images = []
    for size in SIZES:
        rows = draw.render(size, size)
        if size == 32:
            images.append((size, 256, 8, icon_8bpp(size, rows)))
        images.append((size, 0, 32, icon_png(size, rows) if size == 256 else icon_32bpp(size, rows)))
    offset = 6 + 16 * len(images)
    directory, data = b"", b""
    for size, colours, bits, image in images:
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, colours % 256, 0, 1, bits,
                                 len(image), offset + len(data))
        data += image
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + directory + data)


def write_bmp(path, width, height, rows):
    pixels = bgra_rows(rows)
    header = bitmap_header(width, height, 32)
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 14 + len(header) + len(pixels), 0, 0,
                                    14 + len(header)) + header + pixels)


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(
        os.path.dirname(HERE), "app", "win32", "resources")
    write_ico(os.path.join(out, "quillmoor.ico"))
    write_bmp(os.path.join(out, "logo.bmp"), 55, 53, draw.render(55, 53))


if __name__ == "__main__":
    main()
