#!/usr/bin/python3
"""Draws Quorvane's icons and window logo.

Run:  /usr/bin/python3 tools/make-assets.py   (paths are relative to the project root)
Writes:
  assets/quorvane.png        32x32 RGB window icon (no alpha, so the backdrop is baked in)
  assets/quorvane-N.png      N = 16, 48, 64, 128, 256: RGBA icons for the desktop icon theme
  assets/logo.png            126x70, 256-colour palette, background index transparent

The logo is a palette PNG rather than a GIF: it is the same picture, and Qt
reads PNG itself, while a GIF costs the start-up the loading of an image-format
plugin. The pictures are described as shapes and rendered here, and the PNG
encoder is written out by hand, so the artwork needs only the Python standard
library and comes out byte-identical on every run. Change the drawing, rerun it,
and commit the regenerated files together with this script.
"""

import math
import os
import struct
import zlib

DARK_GREEN = (0, 64, 0)
WHITE = (255, 255, 255)
ICON_BACKDROP = WHITE  # what the 32x32 RGB icon shows around the rounded square
ICON_SIZES = (16, 48, 64, 128, 256)
SUPERSAMPLE = 5  # samples per axis for pixels an edge passes through


# --- Shapes: signed distance functions, negative inside ------------------------------------

def circle(cx, cy, r):
    return lambda x, y: math.hypot(x - cx, y - cy) - r


def ring(cx, cy, r, width):
    return lambda x, y: abs(math.hypot(x - cx, y - cy) - r) - width / 2


def rounded_rect(cx, cy, half_w, half_h, radius):
    def dist(x, y):
        qx, qy = abs(x - cx) - half_w + radius, abs(y - cy) - half_h + radius
        return math.hypot(max(qx, 0), max(qy, 0)) + min(max(qx, qy), 0) - radius
    return dist


def ellipse_ring(cx, cy, rx, ry, width):
    """An elliptical outline; the distance is a first-order estimate, close near the curve."""
    def dist(x, y):
        u, v = (x - cx) / rx, (y - cy) / ry
        f = math.hypot(u, v)
        slope = math.hypot(u / rx, v / ry) / f if f else 1 / min(rx, ry)
        return abs((f - 1) / slope) - width / 2
    return dist


def stroke(ax, ay, bx, by, width):
    """A straight line with round caps."""
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy

    def dist(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - width / 2
    return dist


def polar(cx, cy, r, degrees):
    """Clock-style angle: 0 is twelve o'clock, growing clockwise (y points down)."""
    a = math.radians(degrees)
    return cx + r * math.sin(a), cy - r * math.cos(a)


def arc(cx, cy, r, width, start, sweep):
    """A circular stroke with round caps, from clock angle start, sweeping clockwise."""
    ends = (polar(cx, cy, r, start), polar(cx, cy, r, start + sweep))

    def dist(x, y):
        angle = math.degrees(math.atan2(x - cx, cy - y))
        if (angle - start) % 360 <= sweep:
            return abs(math.hypot(x - cx, y - cy) - r) - width / 2
        return min(math.hypot(x - ex, y - ey) for ex, ey in ends) - width / 2
    return dist


def polygon(*points):
    """A convex polygon. Outside it this underestimates the distance near corners,
    which only costs render() a few extra samples."""
    area = sum(x0 * y1 - x1 * y0 for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]))
    sign = 1 if area > 0 else -1
    edges = []
    for (x0, y0), (x1, y1) in zip(points, points[1:] + points[:1]):
        length = math.hypot(x1 - x0, y1 - y0)
        edges.append((x0, y0, sign * (y1 - y0) / length, sign * (x0 - x1) / length))
    return lambda x, y: max((x - x0) * nx + (y - y0) * ny for x0, y0, nx, ny in edges)


# --- Rendering ------------------------------------------------------------------------------

def render(scene, width, height, scale):
    """Paints scene, a back-to-front list of (shape, (r, g, b), opacity), into a
    width x height grid where one scene unit is scale pixels. Returns premultiplied
    (r, g, b, alpha) per pixel, rows top to bottom. Pixels that no edge crosses take
    one sample; the rest are supersampled."""
    near_edge = 0.75 / scale  # a little over half a pixel's diagonal
    offsets = [((i + 0.5) / SUPERSAMPLE - 0.5) / scale for i in range(SUPERSAMPLE)]
    pixels = []
    for py in range(height):
        for px in range(width):
            x, y = (px + 0.5) / scale, (py + 0.5) / scale
            if all(abs(shape(x, y)) > near_edge for shape, _, _ in scene):
                points = [(x, y)]
            else:
                points = [(x + ox, y + oy) for oy in offsets for ox in offsets]
            total = [0.0, 0.0, 0.0, 0.0]
            for sx, sy in points:
                r = g = b = a = 0.0
                for shape, (cr, cg, cb), opacity in scene:
                    if shape(sx, sy) < 0:
                        keep = 1 - opacity
                        r, g, b = cr * opacity + r * keep, cg * opacity + g * keep, cb * opacity + b * keep
                        a = opacity + a * keep
                total = [total[0] + r, total[1] + g, total[2] + b, total[3] + a]
            pixels.append(tuple(v / len(points) for v in total))
    return pixels


def byte(value):
    return max(0, min(255, int(round(value))))


def over(pixel, backdrop):
    """A premultiplied pixel composited onto an opaque colour."""
    r, g, b, a = pixel
    return tuple(byte(c + k * (1 - a)) for c, k in zip((r, g, b), backdrop))


def straight(pixel):
    """A premultiplied pixel as straight 8-bit RGBA."""
    r, g, b, a = pixel
    if a <= 0:
        return (0, 0, 0, 0)
    return (byte(r / a), byte(g / a), byte(b / a), byte(a * 255))


# --- Encoders -------------------------------------------------------------------------------

def png(width, height, samples, channels, palette=None, transparent=0):
    """PNG bytes from 8-bit samples: RGB (3 channels, colour type 2), RGBA (4, type 6), or
    indices into a 256-colour palette (1, type 3) whose entry `transparent` is see-through."""
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    stride = width * channels
    raw = b"".join(b"\0" + bytes(samples[y * stride:(y + 1) * stride]) for y in range(height))
    header = struct.pack(">IIBBBBB", width, height, 8, {1: 3, 3: 2, 4: 6}[channels], 0, 0, 0)
    colours = b""
    if palette:
        assert len(palette) == 256
        colours = (chunk(b"PLTE", bytes(c for rgb in palette for c in rgb))
                   + chunk(b"tRNS", bytes([255] * transparent + [0])))
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + colours
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


# --- Artwork --------------------------------------------------------------------------------

def icon_scene(size):
    """The clock badge, in units of the icon's width (0..1, y down). Below 24 pixels
    the sync arrows and hour marks would only blur, so the face grows instead."""
    c, small = 0.5, size < 24
    scene = [
        # 7/16 keeps the square's straight edges on pixel boundaries at every size.
        (rounded_rect(c, c, 7 / 16, 7 / 16, 0.19), DARK_GREEN, 1.0),
        (circle(c, c, 0.34 if small else 0.32), WHITE, 1.0),
    ]
    if not small:
        # Sync arrows circling the face: two arcs, each ending in an arrowhead.
        accent = (140, 205, 100)
        r, w = 0.378, 0.046
        for start in (20, 200):
            sweep = 115
            scene.append((arc(c, c, r, w, start, sweep), accent, 1.0))
            scene.append((polygon(polar(c, c, r, start + sweep + 28), polar(c, c, r + 0.065, start + sweep),
                                  polar(c, c, r - 0.065, start + sweep)), accent, 1.0))
        for hour in range(0, 360, 90):
            scene.append((stroke(*polar(c, c, 0.235, hour), *polar(c, c, 0.28, hour), 0.047), DARK_GREEN, 1.0))
    if small:  # three o'clock: two-pixel hands along the pixel grid read better than a slanted V
        scene += [
            (stroke(c, c, *polar(c, c, 0.19, 90), 0.125), DARK_GREEN, 1.0),
            (stroke(c, c, *polar(c, c, 0.25, 0), 0.125), DARK_GREEN, 1.0),
        ]
    else:
        scene += [
            (stroke(c, c, *polar(c, c, 0.16, 305), 0.07), DARK_GREEN, 1.0),    # hour hand at ten
            (stroke(c, c, *polar(c, c, 0.235, 60), 0.052), DARK_GREEN, 1.0),  # minute hand at two past
            (circle(c, c, 0.047), DARK_GREEN, 1.0),
        ]
    return scene


def logo_scene():
    """A clock-faced globe broadcasting signal arcs, in pixels of the 126x70 logo."""
    cx, cy = 63, 35
    ocean = (30, 110, 190)
    scene = [
        (ring(cx, cy, 28.5, 3.0), DARK_GREEN, 1.0),
        (circle(cx, cy, 24.5), ocean, 1.0),
    ]
    # Meridians and parallels as translucent white, so they stay shades of the ocean.
    for squash in (0.45, 0.8):
        scene.append((ellipse_ring(cx, cy, 24.5 * squash, 24.5, 1.2), WHITE, 0.4))
    for dy in (-12, 0, 12):
        half = math.sqrt(24.5 ** 2 - dy * dy) - 1
        scene.append((stroke(cx - half, cy + dy, cx + half, cy + dy, 1.2), WHITE, 0.4))
    scene += [
        (stroke(cx, cy, *polar(cx, cy, 12, 305), 3.6), WHITE, 1.0),
        (stroke(cx, cy, *polar(cx, cy, 19, 60), 2.6), WHITE, 1.0),
        (circle(cx, cy, 3.2), WHITE, 1.0),
    ]
    waves = [(36, (0, 110, 80)), (44, (40, 150, 90)), (52, (110, 190, 100))]
    for radius, colour in waves:
        for centre in (90, 270):  # to the right and to the left
            scene.append((arc(cx, cy, radius, 3.6, centre - 33, 66), colour, 1.0))
    return scene


def logo_palette(scene):
    """Index 0 is the transparent background; index 1 opaque white; the rest are ramps
    from white to each ink colour in the scene, which covers antialiased edges."""
    inks = []
    for _, colour, _ in scene:
        if colour != WHITE and colour not in inks:
            inks.append(colour)
    steps = 254 // len(inks)
    palette = [WHITE, WHITE]
    for ink in inks:
        for s in range(1, steps + 1):
            palette.append(tuple(byte(255 + (k - 255) * s / steps) for k in ink))
    return palette + [WHITE] * (256 - len(palette))


def make_logo(width=126, height=70):
    scene = logo_scene()
    palette = logo_palette(scene)
    nearest = {}
    indices = []
    for pixel in render(scene, width, height, 1):
        if pixel[3] <= 0:
            indices.append(0)
            continue
        rgb = over(pixel, WHITE)  # the window shows the logo on white
        if rgb not in nearest:
            nearest[rgb] = min(range(1, 256), key=lambda i: sum((p - q) ** 2 for p, q in zip(rgb, palette[i])))
        indices.append(nearest[rgb])
    return png(width, height, indices, 1, palette, transparent=0)


def main():
    os.chdir(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))  # the project root
    os.makedirs("assets", exist_ok=True)
    outputs = {}
    pixels = render(icon_scene(32), 32, 32, 32)
    outputs["assets/quorvane.png"] = png(32, 32, [c for p in pixels for c in over(p, ICON_BACKDROP)], 3)
    for size in ICON_SIZES:
        pixels = render(icon_scene(size), size, size, size)
        outputs["assets/quorvane-%d.png" % size] = png(size, size, [c for p in pixels for c in straight(p)], 4)
    outputs["assets/logo.png"] = make_logo()
    for path, data in outputs.items():
        with open(path, "wb") as f:
            f.write(data)
        print("wrote %s (%d bytes)" % (path, len(data)))


if __name__ == "__main__":
    main()
