#!/usr/bin/env python3
"""Draws the program's two icons and writes them as PNG files.

search16.png  16 x 16: a magnifying glass (tool bar button, menu entry).
vela48.png    48 x 48: a device sending broadcast waves (program icon).

and the Windows program's icon files, in ../../winui/res:

search.ico    the magnifying glass, 16 x 16.
vela.ico      the program icon at 16, 32 and 48 pixels.
check.ico     16 x 16: a green check mark (the search dialog's Stop button).

Shapes are described as coverage functions and rendered with 8 x 8
supersampling, so the script needs nothing beyond the standard library.
Run it from this folder to regenerate the committed images.
"""
import math
import struct
import zlib

SS = 8  # supersampling per axis


def png(path, size, pixels):
    raw = b"".join(b"\x00" + bytes(c for px in row for c in px) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body) & 0xFFFFFFFF)

    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
                + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def render(size, layers):
    """layers: list of (inside(x, y) -> bool, (r, g, b, a)), painted in order."""
    out = []
    for py in range(size):
        row = []
        for px in range(size):
            r = g = b = a = 0.0
            for sy in range(SS):
                for sx in range(SS):
                    x = px + (sx + 0.5) / SS
                    y = py + (sy + 0.5) / SS
                    cr = cg = cb = ca = 0.0
                    for inside, (lr, lg, lb, la) in layers:
                        if inside(x, y):
                            al = la / 255.0
                            cr = lr * al + cr * (1 - al)
                            cg = lg * al + cg * (1 - al)
                            cb = lb * al + cb * (1 - al)
                            ca = al + ca * (1 - al)
                    r += cr
                    g += cg
                    b += cb
                    a += ca
            n = SS * SS
            if a > 0:
                row.append((round(r / a), round(g / a), round(b / a), round(255 * a / n)))
            else:
                row.append((0, 0, 0, 0))
        out.append(row)
    return out


def ico(path, images):
    """images: list of (size, pixels); each stored as a 32-bit DIB with its mask."""
    entries, blobs = [], []
    offset = 6 + 16 * len(images)
    for size, pixels in images:
        header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
        # Rows bottom-up, BGRA; then the AND mask (all 0: alpha decides),
        # rows padded to 32 bits.
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(pixels) for (r, g, b, a) in row)
        mask_row = ((size + 31) // 32) * 4
        blob = header + xor + bytes(mask_row * size)
        entries.append(struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 32, len(blob), offset))
        blobs.append(blob)
        offset += len(blob)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, len(images)) + b"".join(entries) + b"".join(blobs))


def scaled(layers, factor):
    """The same layers drawn factor times larger."""
    return [(lambda x, y, inside=inside: inside(x / factor, y / factor), colour) for inside, colour in layers]


def circle(cx, cy, rad):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= rad * rad


def ring(cx, cy, r_in, r_out):
    return lambda x, y: r_in * r_in <= (x - cx) ** 2 + (y - cy) ** 2 <= r_out * r_out


def segment(x0, y0, x1, y1, half_width):
    def inside(x, y):
        dx, dy = x1 - x0, y1 - y0
        t = max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / (dx * dx + dy * dy)))
        ex, ey = x0 + t * dx - x, y0 + t * dy - y
        return ex * ex + ey * ey <= half_width * half_width
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x <= x1 and y0 <= y <= y1


def arc(cx, cy, r_in, r_out, a_from, a_to):
    """Ring sector; angles in degrees, 0 pointing right, counter-clockwise, y up."""
    def inside(x, y):
        d2 = (x - cx) ** 2 + (y - cy) ** 2
        if not r_in * r_in <= d2 <= r_out * r_out:
            return False
        ang = math.degrees(math.atan2(cy - y, x - cx)) % 360
        return a_from <= ang <= a_to
    return inside


def search_layers():
    return [
        (segment(9.5, 9.5, 14.2, 14.2, 1.6), (120, 72, 24, 255)),       # handle
        (circle(6.5, 6.5, 5.6), (40, 64, 110, 255)),                     # rim
        (circle(6.5, 6.5, 4.2), (205, 228, 250, 255)),                   # lens
        (circle(5.2, 5.0, 1.4), (255, 255, 255, 230)),                   # glint
    ]


def search16():
    return render(16, search_layers())


def vela_layers():
    blue = (30, 90, 170, 255)
    return [
        (circle(24, 24, 22.5), (232, 241, 252, 255)),                    # disc
        (ring(24, 24, 21.0, 22.8), (60, 110, 180, 255)),                 # disc edge
        (arc(24, 30, 7.5, 10.0, 40, 140), blue),                         # waves
        (arc(24, 30, 12.5, 15.0, 40, 140), blue),
        (arc(24, 30, 17.5, 20.0, 45, 135), (30, 90, 170, 200)),
        (rect(13, 30, 35, 40), (50, 56, 66, 255)),                       # device body
        (rect(15, 32, 33, 34), (90, 200, 110, 255)),                     # status strip
        (circle(17, 37.5, 1.2), (255, 200, 60, 255)),                    # lamps
        (circle(21, 37.5, 1.2), (255, 200, 60, 255)),
        (rect(22.8, 24, 25.2, 30), (50, 56, 66, 255)),                   # antenna
        (circle(24, 24, 2.2), (220, 60, 50, 255)),
    ]


def vela48():
    return render(48, vela_layers())


def check16():
    green = (40, 150, 60, 255)
    return render(16, [
        (segment(3.0, 8.5, 6.5, 12.0, 1.5), green),
        (segment(6.5, 12.0, 13.0, 4.0, 1.5), green),
    ])


if __name__ == "__main__":
    png("search16.png", 16, search16())
    png("vela48.png", 48, vela48())
    import os
    res = os.path.join("..", "..", "winui", "res")
    os.makedirs(res, exist_ok=True)
    ico(os.path.join(res, "search.ico"), [(16, search16())])
    ico(os.path.join(res, "check.ico"), [(16, check16())])
    ico(os.path.join(res, "vela.ico"), [(16, render(16, scaled(vela_layers(), 16 / 48))),
                                        (32, render(32, scaled(vela_layers(), 32 / 48))),
                                        (48, vela48())])
