#!/usr/bin/env python3
"""Draws Quillory's images: the toolbar buttons, the application image, the
Windows icon and the freedesktop hicolor icons.

Only the Python standard library is used, so the artwork can be redrawn on any
machine: shapes are signed distance functions, and a pixel's coverage is taken
from the distance at its centre, which anti-aliases every edge for free.

    python3 ui/resources/draw_icons.py            # everything
"""

import math
import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
APP_ID = "org.quillory.Quillory"
HICOLOR_SIZES = (16, 24, 32, 48, 64, 128, 256)
ICO_SIZES = (16, 24, 32, 48, 64, 256)
WINDOW_ICON_SIZES = (16, 24, 32, 48, 64, 128)

# The application image is 256 x 251; square icons centre it in 256 x 256.
APP_W, APP_H = 256, 251
SQUARE_PAD = (256 - APP_H) / 2.0


def hex_colour(text, alpha=1.0):
    text = text.lstrip("#")
    return (int(text[0:2], 16) / 255.0, int(text[2:4], 16) / 255.0,
            int(text[4:6], 16) / 255.0, alpha)


def mix(a, b, t):
    t = 0.0 if t < 0.0 else 1.0 if t > 1.0 else t
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(4))


# --- distance functions (design units; negative inside) ---------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def box(cx, cy, hw, hh, r=0.0, angle=0.0):
    c, s = math.cos(math.radians(angle)), math.sin(math.radians(angle))

    def d(x, y):
        x, y = x - cx, y - cy
        x, y = c * x + s * y, -s * x + c * y
        qx, qy = abs(x) - hw + r, abs(y) - hh + r
        outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
        return outside + min(max(qx, qy), 0.0) - r
    return d


def segment(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def d(x, y):
        px, py = x - ax, y - ay
        t = max(0.0, min(1.0, (px * dx + py * dy) / length2))
        return math.hypot(px - dx * t, py - dy * t) - r
    return d


def polygon(points, r=0.0):
    pts = []
    for p in points:  # coincident neighbours would make a zero-length edge
        if not pts or math.hypot(p[0] - pts[-1][0], p[1] - pts[-1][1]) > 1e-9:
            pts.append(p)
    if math.hypot(pts[0][0] - pts[-1][0], pts[0][1] - pts[-1][1]) <= 1e-9:
        pts.pop()
    n = len(pts)

    def d(x, y):
        best = float("inf")
        inside = False
        j = n - 1
        for i in range(n):
            xi, yi = pts[i]
            xj, yj = pts[j]
            ex, ey = xj - xi, yj - yi
            wx, wy = x - xi, y - yi
            t = max(0.0, min(1.0, (wx * ex + wy * ey) / (ex * ex + ey * ey)))
            qx, qy = wx - ex * t, wy - ey * t
            dist2 = qx * qx + qy * qy
            if dist2 < best:
                best = dist2
            if (yi > y) != (yj > y) and x < xi + (y - yi) * ex / ey:
                inside = not inside
            j = i
        dist = math.sqrt(best)
        return (-dist if inside else dist) - r
    return d


def union(*shapes):
    return lambda x, y: min(s(x, y) for s in shapes)


def intersect(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def subtract(shape, *holes):
    return lambda x, y: max([shape(x, y)] + [-h(x, y) for h in holes])


def solid(colour):
    return lambda x, y: colour


def linear(x0, y0, c0, x1, y1, c1):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy
    return lambda x, y: mix(c0, c1, ((x - x0) * dx + (y - y0) * dy) / length2)


# --- canvas ------------------------------------------------------------------

class Canvas:
    """Premultiplied RGBA floats; design units map to pixels by scale and an
    offset, so the same drawing renders at every icon size."""

    def __init__(self, width, height, scale=1.0, dx=0.0, dy=0.0):
        self.width, self.height = width, height
        self.scale, self.dx, self.dy = scale, dx, dy
        self.px = [[0.0, 0.0, 0.0, 0.0] for _ in range(width * height)]

    def paint(self, shape, paint, bounds, grow=0.0, opacity=1.0, soft=0.0):
        """Composites `paint` over the canvas where `shape` is negative.
        `grow` widens the shape (an outline drawn under the fill), `soft`
        blurs its edge over that many design units (shadows)."""
        x0, y0, x1, y1 = bounds
        pad = grow + soft + 2.0
        s = self.scale
        left = max(0, int(math.floor((x0 - pad) * s + self.dx)))
        top = max(0, int(math.floor((y0 - pad) * s + self.dy)))
        right = min(self.width, int(math.ceil((x1 + pad) * s + self.dx)) + 1)
        bottom = min(self.height, int(math.ceil((y1 + pad) * s + self.dy)) + 1)
        for py in range(top, bottom):
            y = (py + 0.5 - self.dy) / s
            row = py * self.width
            for px in range(left, right):
                x = (px + 0.5 - self.dx) / s
                d = shape(x, y) - grow
                if soft > 0.0:
                    cover = 0.5 - d / (2.0 * soft)
                else:
                    cover = 0.5 - d * s
                if cover <= 0.0:
                    continue
                if cover > 1.0:
                    cover = 1.0
                r, g, b, a = paint(x, y)
                a *= cover * opacity
                dst = self.px[row + px]
                keep = 1.0 - a
                dst[0] = r * a + dst[0] * keep
                dst[1] = g * a + dst[1] * keep
                dst[2] = b * a + dst[2] * keep
                dst[3] = a + dst[3] * keep

    def shape(self, shape, bounds, fill, stroke=None, width=0.0):
        if stroke is not None:
            self.paint(shape, solid(stroke) if isinstance(stroke, tuple)
                       else stroke, bounds, grow=width / 2.0)
            shape_inside = (lambda f: lambda x, y: f(x, y) + width / 2.0)(shape)
            self.paint(shape_inside, solid(fill) if isinstance(fill, tuple)
                       else fill, bounds)
        else:
            self.paint(shape, solid(fill) if isinstance(fill, tuple) else fill,
                       bounds)

    def rgba_bytes(self):
        out = bytearray()
        for y in range(self.height):
            out.append(0)  # PNG filter: none
            for x in range(self.width):
                r, g, b, a = self.px[y * self.width + x]
                if a <= 0.0:
                    out += b"\0\0\0\0"
                    continue
                out += bytes(int(round(min(1.0, c / a) * 255)) for c in (r, g, b))
                out.append(int(round(min(1.0, a) * 255)))
        return bytes(out)


def png_bytes(canvas):
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))
    header = struct.pack(">IIBBBBB", canvas.width, canvas.height, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header)
            + chunk(b"IDAT", zlib.compress(canvas.rgba_bytes(), 9))
            + chunk(b"IEND", b""))


def ico_bytes(images):
    """`images` are (size, png bytes); Windows Vista and later read PNG entries."""
    head = struct.pack("<HHH", 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    entries, blobs = b"", b""
    for size, data in images:
        dim = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset)
        blobs += data
        offset += len(data)
    return head + entries + blobs


def write(path, data):
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(data)
    print("wrote", os.path.relpath(path, ROOT))


# --- toolbar buttons (24 x 24) -----------------------------------------------

WHITE = hex_colour("ffffff")
FULL24 = (0, 0, 24, 24)


# 200 % screens get the same drawings at twice the size (name@2x.png, a name
# Qt's icons read as "for a device pixel ratio of 2"), so nothing is scaled up.
BUTTON_SCALES = (2,)


def button_canvas(scale):
    side = int(round(24 * scale))
    return Canvas(side, side, scale)


def round_button(top, bottom, rim, scale):
    c = button_canvas(scale)
    c.shape(circle(12, 12, 10.5), FULL24,
            linear(12, 2, hex_colour(top), 12, 22, hex_colour(bottom)),
            hex_colour(rim), 1.2)
    # A soft highlight on the upper half keeps the button from looking flat.
    c.paint(intersect(circle(12, 12, 9.2), box(12, 6, 10, 6)),
            linear(12, 3, hex_colour("ffffff", 0.35), 12, 12, hex_colour("ffffff", 0.0)),
            FULL24)
    return c


def draw_add(scale=1.0):
    c = round_button("5cc46f", "2f9246", "22703a", scale)
    c.paint(union(box(12, 12, 6, 2, 0.6), box(12, 12, 2, 6, 0.6)), solid(WHITE), FULL24)
    return c


def draw_remove(scale=1.0):
    c = round_button("f0665c", "c4382d", "922a20", scale)
    c.paint(box(12, 12, 6, 2, 0.6), solid(WHITE), FULL24)
    return c


def draw_save(scale=1.0):
    c = button_canvas(scale)
    body = polygon([(4, 4), (17.2, 4), (20, 6.8), (20, 20), (4, 20)], 1.0)
    c.shape(body, FULL24,
            linear(12, 3, hex_colour("4f93e6"), 12, 21, hex_colour("2d66bf")),
            hex_colour("1d4c94"), 1.2)
    # Metal shutter with its slot, and the paper label below it.
    c.paint(box(11.5, 6.4, 4.6, 3.0, 0.6), solid(hex_colour("e3eaf3")), FULL24)
    c.paint(box(13.6, 6.4, 1.1, 2.0, 0.3), solid(hex_colour("2d66bf")), FULL24)
    c.paint(box(12, 16.6, 5.6, 3.6, 0.8), solid(hex_colour("fbfcfe")), FULL24)
    for y in (15.3, 17.8):
        c.paint(segment(8.8, y, 15.2, y, 0.45), solid(hex_colour("9db4d3")), FULL24)
    return c


# --- application image: a quill over a stack of index cards ------------------

INK = hex_colour("263042")


def quill_outline():
    """The vane as a polygon around a curved spine, wider on the lower side
    like a real flight feather."""
    nib = (92.0, 214.0)
    ctrl = (150.0, 120.0)
    tip = (238.0, 18.0)

    def point(t):
        u = 1.0 - t
        return (u * u * nib[0] + 2 * u * t * ctrl[0] + t * t * tip[0],
                u * u * nib[1] + 2 * u * t * ctrl[1] + t * t * tip[1])

    def normal(t):
        u = 1.0 - t
        tx = 2 * u * (ctrl[0] - nib[0]) + 2 * t * (tip[0] - ctrl[0])
        ty = 2 * u * (ctrl[1] - nib[1]) + 2 * t * (tip[1] - ctrl[1])
        n = math.hypot(tx, ty)
        return (ty / n, -tx / n)  # points to the upper-left side

    start, steps = 0.30, 28
    upper, lower = [], []
    for i in range(steps + 1):
        t = start + (1.0 - start) * i / steps
        px, py = point(t)
        nx, ny = normal(t)
        up, down = vane_width(t, 1), vane_width(t, -1)
        upper.append((px + nx * up, py + ny * up))
        lower.append((px - nx * down, py - ny * down))
    vane = upper + lower[::-1]
    return point, normal, vane


def vane_width(t, side, start=0.30):
    k = max(0.0, (t - start) / (1.0 - start))
    return math.sin(math.pi * (k ** 0.75)) * (19.0 if side > 0 else 27.0)


def draw_app(canvas):
    c = canvas
    everything = (0, 0, APP_W, APP_H)
    # Outlines and strokes keep at least about a pixel at small sizes, or the
    # shapes melt into each other; the finest details are left out there.
    unit = 1.0 / c.scale
    outline = max(5.0, 1.1 * unit)
    tiny = c.scale < 0.1

    # Soft shadow under the stack.
    c.paint(box(118, 156, 86, 58, 14, -4), solid(hex_colour("1a2233", 0.35)),
            everything, soft=9.0)

    cards = (
        (122, 128, -13.0, "4f86dc", "3d6fbf"),
        (116, 142, -4.0, "3fb09a", "2f8f7d"),
        (112, 158, 4.0, "fdfaf2", "efe6d2"),
    )
    for cx, cy, angle, top, bottom in cards:
        card = box(cx, cy, 84, 56, 11, angle)
        c.shape(card, everything,
                linear(cx, cy - 56, hex_colour(top), cx, cy + 56, hex_colour(bottom)),
                INK, outline)

    # Lines of code on the top card: indentation and colour read as source text.
    rad = math.radians(4.0)
    ca, sa = math.cos(rad), math.sin(rad)
    lines = (
        (0, 34, "4a6fa5"), (1, 56, "e0685a"), (1, 40, "5ba55b"),
        (2, 48, "4a6fa5"), (1, 28, "e0685a"), (0, 14, "4a6fa5"),
    )
    if tiny:
        lines = lines[1:5:2] + ((0, 20, "4a6fa5"),)
    gap = 26.0 if tiny else 14.5
    for row, (indent, length, colour) in enumerate(lines):
        lx = -62 + indent * 14
        ly = -36 + row * gap
        ax, ay = 112 + lx * ca - ly * sa, 158 + lx * sa + ly * ca
        ex, ey = 112 + (lx + length) * ca - ly * sa, 158 + (lx + length) * sa + ly * ca
        c.paint(segment(ax, ay, ex, ey, max(3.6, 0.55 * unit)), solid(hex_colour(colour)), everything)

    point, normal, vane_points = quill_outline()
    vane = polygon(vane_points)
    # Slanted nicks in the vane edge make it read as a feather, not a leaf.
    nicks = []
    for t, side, depth in ((0.56, 1, 9.0), (0.75, 1, 7.0), (0.50, -1, 13.0),
                           (0.68, -1, 12.0), (0.85, -1, 8.0)):
        px, py = point(t)
        nx, ny = normal(t)
        edge = vane_width(t, side)
        inner = (px + nx * side * (edge - depth), py + ny * side * (edge - depth))
        fx, fy = point(t + 0.05)
        fnx, fny = normal(t + 0.05)
        out1 = (px + nx * side * (edge + 12), py + ny * side * (edge + 12))
        out2 = (fx + fnx * side * (edge + 12), fy + fny * side * (edge + 12))
        nicks.append(polygon([inner, out1, out2]))
    feather = vane if tiny else subtract(vane, *nicks)
    fb = (60, 0, 256, 230)
    c.paint(feather, solid(hex_colour("1a2233", 0.30)), fb, soft=6.0)
    c.shape(feather, fb,
            linear(110, 200, hex_colour("d9472b"), 230, 24, hex_colour("f7c04a")),
            INK, 0.6 * unit if tiny else outline)

    # Barbs: faint strokes from the spine towards the edge, leaning to the tip.
    for i in range(0 if tiny else 9):
        t = 0.40 + i * 0.065
        px, py = point(t)
        nx, ny = normal(t)
        fx, fy = point(min(1.0, t + 0.07))
        for side, reach in ((1, 15.0), (-1, 22.0)):
            ex = px + nx * side * reach + (fx - px) * 0.8
            ey = py + ny * side * reach + (fy - py) * 0.8
            c.paint(intersect(segment(px, py, ex, ey, 0.9), lambda x, y: feather(x, y) + 3.5),
                    solid(hex_colour("ffffff", 0.35)), fb)

    # Shaft from the nib through the vane, then the nib itself.
    spine = [point(0.12 + 0.86 * i / 24) for i in range(25)]
    for (ax, ay), (bx, by) in zip(spine, spine[1:]):
        c.paint(segment(ax, ay, bx, by, 0.35 * unit if tiny else max(4.2, 0.7 * unit)), solid(INK), fb)
    for (ax, ay), (bx, by) in zip(spine, [] if tiny else spine[1:]):
        c.paint(segment(ax, ay, bx, by, 1.9), solid(hex_colour("fff1d6")), fb)
    nx, ny = normal(0.12)
    bx, by = point(0.12)
    tx, ty = point(0.0)
    nib = polygon([(bx + nx * 7, by + ny * 7), (tx - 4, ty + 6), (bx - nx * 7, by - ny * 7)])
    c.shape(nib, fb, linear(bx, by, hex_colour("c9d3e0"), tx, ty, hex_colour("6c7a90")),
            INK, max(4.0, 0.9 * unit))
    # A drop of ink where the nib meets the card.
    c.paint(circle(tx - 9, ty + 10, 5.0), solid(INK), everything)


def render_app(width, height, scale, dy):
    c = Canvas(width, height, scale, 0.0, dy)
    draw_app(c)
    return c


def main():
    res = HERE
    write(os.path.join(res, "add.png"), png_bytes(draw_add()))
    write(os.path.join(res, "remove.png"), png_bytes(draw_remove()))
    write(os.path.join(res, "save.png"), png_bytes(draw_save()))
    for scale in BUTTON_SCALES:
        suffix = "@%dx.png" % scale
        write(os.path.join(res, "add" + suffix), png_bytes(draw_add(scale)))
        write(os.path.join(res, "remove" + suffix), png_bytes(draw_remove(scale)))
        write(os.path.join(res, "save" + suffix), png_bytes(draw_save(scale)))
    write(os.path.join(res, "icon.png"), png_bytes(render_app(APP_W, APP_H, 1.0, 0.0)))

    # Square renders of the same drawing: small sizes stay sharp because they
    # are drawn at their size instead of being scaled down from 256.
    squares = {}
    for size in sorted(set(ICO_SIZES) | set(HICOLOR_SIZES)):
        scale = size / 256.0
        squares[size] = png_bytes(render_app(size, size, scale, SQUARE_PAD * scale))
    write(os.path.join(res, "icon.ico"), ico_bytes([(s, squares[s]) for s in ICO_SIZES]))
    # The window icon at the sizes title bars and task bars ask for, also at
    # 150 % and 200 %: scaled down from 256 pixels, the quill turns to mush.
    for size in WINDOW_ICON_SIZES:
        write(os.path.join(res, "icon@%dpx.png" % size), squares[size])

    hicolor = os.path.join(ROOT, "dist", "linux", "icons")
    if "--no-hicolor" not in sys.argv:
        for size in HICOLOR_SIZES:
            write(os.path.join(hicolor, "%dx%d" % (size, size), APP_ID + ".png"), squares[size])


if __name__ == "__main__":
    main()
