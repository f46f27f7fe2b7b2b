#!/usr/bin/python3
"""Writes the picture resources of Cairnstone.exe into res/.

  res/leather.png    256x256 RGB: dark pebbled leather, tiles seamlessly
  res/parchment.png  256x256 RGB: light parchment with fibres, tiles too
  res/emblem.png     512x512 RGBA: the cairn medallion
  res/cairnstone.ico 16 to 256 pixels, 32 bits; PNG from 64 pixels up
  res/installer/wizard.bmp  164x314 24-bit: the installer's welcome and finish
                            pages' side picture (leather, gilt edge, emblem)
  res/installer/header.bmp  150x57 24-bit: the installer's page header picture

Needs Debian's python3-numpy and python3-pil. Every random choice comes from
fixed seeds, so the output is the same on every run.
Usage: /usr/bin/python3 tools/make_resources.py [output folder]
"""
import io
import os
import struct
import sys
import zlib

import numpy as np
from PIL import Image

TILE = 256
EMBLEM_SIZE = 512
ICON_SIZES = [16, 20, 24, 32, 40, 48, 64, 96, 128, 256]


# ---------------------------------------------------------------- textures

def periodic_noise(rng, size, sigma_freq, aniso=(1.0, 1.0)):
    """Smooth noise that wraps around: white noise low-passed in frequency."""
    white = rng.standard_normal((size, size))
    fy = np.fft.fftfreq(size)[:, None] * size * aniso[1]
    fx = np.fft.fftfreq(size)[None, :] * size * aniso[0]
    filt = np.exp(-(fx * fx + fy * fy) / (2.0 * sigma_freq * sigma_freq))
    out = np.real(np.fft.ifft2(np.fft.fft2(white) * filt))
    out -= out.mean()
    return out / (out.std() + 1e-9)


def worley(rng, size, count):
    """Distances to the nearest and second nearest of `count` points, on a torus."""
    pts = rng.uniform(0, size, (count, 2))
    yy, xx = np.mgrid[0:size, 0:size].astype(np.float64)
    f1 = np.full((size, size), 1e9)
    f2 = np.full((size, size), 1e9)
    for px, py in pts:
        dx = np.abs(xx - px)
        dy = np.abs(yy - py)
        dx = np.minimum(dx, size - dx)
        dy = np.minimum(dy, size - dy)
        d = np.sqrt(dx * dx + dy * dy)
        closer = d < f1
        f2 = np.where(closer, f1, np.minimum(f2, d))
        f1 = np.where(closer, d, f1)
    return f1, f2


def lerp_colour(a, b, t):
    a = np.asarray(a, np.float64)
    b = np.asarray(b, np.float64)
    return a + (b - a) * t[..., None]


def to_image(rgb):
    return Image.fromarray(np.clip(np.rint(rgb), 0, 255).astype(np.uint8), "RGB")


def make_leather():
    rng = np.random.RandomState(1701)
    f1, f2 = worley(rng, TILE, 720)
    # Pebbles: each cell bulges, the borders between them are creases.
    crease = np.clip((f2 - f1) / 2.4, 0, 1) ** 0.7
    bulge = 1.0 - np.clip(f1 / (f1 + f2 + 1e-9) * 2.0, 0, 1)
    mottle = periodic_noise(rng, TILE, 3.0)
    fine = periodic_noise(rng, TILE, 60.0)
    pores = periodic_noise(rng, TILE, 90.0)
    # Light from the upper left: the top-left slope of a pebble is brighter.
    shade = 0.5 * bulge + 0.5 * crease
    gy, gx = np.gradient(np.pad(shade, 2, mode="wrap"))
    relief = -(gx + gy)[2:-2, 2:-2]
    v = (0.44 + 0.2 * shade + 0.6 * relief + 0.07 * mottle + 0.035 * fine
         - 0.05 * np.clip(pores - 1.4, 0, 2))
    v = np.clip(v, 0, 1)
    dark = (16, 11, 8)
    light = (66, 49, 35)
    rgb = lerp_colour(dark, light, v)
    # A warm, slightly redder cast in the mottled patches.
    rgb[..., 0] += 3.0 * np.clip(mottle, 0, 2)
    mean = rgb.reshape(-1, 3).mean(axis=0)
    rgb += np.array([36, 28, 22]) - mean  # average stays the fallback colour
    return to_image(rgb)


def fold_tiles(canvas, size):
    """Sums a 3x3 tile canvas into one tile, so strokes wrap around the edges."""
    out = np.zeros((size, size))
    for ty in range(3):
        for tx in range(3):
            out += canvas[ty * size:(ty + 1) * size, tx * size:(tx + 1) * size]
    return out


def make_parchment():
    rng = np.random.RandomState(4242)
    blotch = periodic_noise(rng, TILE, 2.2)
    cloud = periodic_noise(rng, TILE, 6.0)
    grain = periodic_noise(rng, TILE, 70.0)
    streak = periodic_noise(rng, TILE, 14.0, aniso=(0.25, 2.5))
    # Fibres: short faint curved strokes, drawn on a 3x3 canvas and folded.
    big = TILE * 3
    fibres = np.zeros((big, big))
    for _ in range(520):
        x, y = rng.uniform(TILE, 2 * TILE, 2)
        angle = rng.uniform(0, np.pi)
        bend = rng.uniform(-0.03, 0.03)
        length = rng.uniform(8, 34)
        strength = rng.uniform(0.25, 1.0) * (1 if rng.uniform() < 0.7 else -0.8)
        for step in range(int(length * 2)):
            ix, iy = int(x) % big, int(y) % big
            fibres[iy, ix] += strength
            angle += bend
            x += 0.5 * np.cos(angle)
            y += 0.5 * np.sin(angle)
    fibres = fold_tiles(fibres, TILE)
    fib_soft = np.real(np.fft.ifft2(np.fft.fft2(fibres) * np.exp(
        -((np.fft.fftfreq(TILE)[:, None] * TILE) ** 2 +
          (np.fft.fftfreq(TILE)[None, :] * TILE) ** 2) / (2 * 55.0 ** 2))))
    v = (0.0 + 0.55 * blotch + 0.35 * cloud + 0.12 * grain + 0.12 * streak
         - 0.22 * fib_soft)
    # Darker age spots where the blotch noise peaks.
    spots = np.clip(blotch - 1.8, 0, 3) * 0.9
    base = np.array([236, 222, 188], np.float64)
    rgb = base + v[..., None] * np.array([5.5, 6.5, 8.5])
    rgb -= spots[..., None] * np.array([14, 20, 30])
    rgb += (rgb.reshape(-1, 3).mean(axis=0) * 0 + base) - rgb.reshape(-1, 3).mean(axis=0)
    return to_image(rgb)


# ---------------------------------------------------------------- emblem

def coverage(sd, px):
    """Anti-aliased coverage of a signed distance (negative inside)."""
    return np.clip(0.5 - sd / px, 0, 1)


def over(dst, colour, alpha):
    """Paints straight RGBA `colour` (H,W,3 or 3) with `alpha` over dst (H,W,4)."""
    a = alpha[..., None]
    col = np.broadcast_to(np.asarray(colour, np.float64), dst[..., :3].shape)
    out_a = a + dst[..., 3:4] * (1 - a)
    rgb = (col * a + dst[..., :3] * dst[..., 3:4] * (1 - a)) / np.maximum(out_a, 1e-9)
    dst[..., :3] = rgb
    dst[..., 3:4] = out_a


def stone_sdf(x, y, cx, cy, ax, ay, tilt, power=2.6):
    """Approximate signed distance of a flat rounded stone (a superellipse)."""
    c, s = np.cos(tilt), np.sin(tilt)
    u = ((x - cx) * c + (y - cy) * s) / ax
    v = (-(x - cx) * s + (y - cy) * c) / ay
    r = (np.abs(u) ** power + np.abs(v) ** power) ** (1.0 / power)
    return (r - 1.0) * min(ax, ay)


GOLD_LIGHT = np.array([255, 236, 170])
GOLD_MID = np.array([222, 178, 92])
GOLD_DARK = np.array([132, 90, 38])
CYAN = np.array([130, 228, 255])


def gold(x, y):
    """Gilt: a diagonal light-to-dark ramp with a narrow specular band."""
    t = np.clip((x + y) * 0.5 + 0.5, 0, 1)
    col = lerp_colour(GOLD_LIGHT, GOLD_MID, np.clip(t * 2, 0, 1))
    col = np.where((t > 0.5)[..., None], lerp_colour(GOLD_MID, GOLD_DARK, np.clip(t * 2 - 1, 0, 1)), col)
    band = np.exp(-((x - y * 0.3 + 0.25) ** 2) / 0.02) * 0.35
    return col + (255 - col) * band[..., None]


def render_emblem(size, small=False):
    """The cairn medallion at `size` pixels; `small` drops fine detail for icons."""
    px = 2.0 / size
    yy, xx = np.mgrid[0:size, 0:size].astype(np.float64)
    x = (xx + 0.5) / size * 2 - 1
    y = (yy + 0.5) / size * 2 - 1
    r = np.sqrt(x * x + y * y)
    img = np.zeros((size, size, 4))

    if small:
        ring_out, ring_w = 0.98, max(0.14, 2.2 * px)
    elif size < 64:
        ring_out, ring_w = 0.90, 0.10
    else:
        ring_out, ring_w = 0.80, 0.065
    ring_in = ring_out - ring_w

    # Soft cyan glow around the medallion.
    if not small:
        glow = np.exp(-np.clip(r - ring_out, 0, None) / ((1 - ring_out) * 0.38)) * 0.6
        glow *= np.clip((1.0 - r) / 0.04, 0, 1)
        over(img, CYAN, glow * (r > ring_out - 0.02))

    # Dark enamel inside, lit cyan from behind the cairn.
    disk = coverage(r - ring_out, px)
    t = np.clip(r / ring_in, 0, 1)
    enamel = lerp_colour((30, 44, 52), (9, 12, 15), t ** 1.3)
    beacon = np.exp(-((x) ** 2 + (y + 0.12) ** 2) / (0.30 if not small else 0.5))
    enamel = enamel + beacon[..., None] * (CYAN * 0.42 - enamel) * 0.55
    over(img, enamel, disk)

    # The gilded ring, with dark hairlines on both edges.
    ring = coverage(np.maximum(r - ring_out, ring_in - r), px)
    over(img, gold(x, y), ring)
    if not small:
        for edge in (ring_out, ring_in):
            line = coverage(np.abs(r - edge) - max(0.006, 0.5 * px), px)
            over(img, (40, 26, 12), line * 0.85)
        inner = coverage(np.abs(r - (ring_in - 0.035)) - max(0.004, 0.4 * px), px)
        over(img, GOLD_MID, inner * 0.55 * (size >= 64))

    # The cairn: flat stones from the bottom up, each gilded at its edge.
    if small:
        stones = [(0.0, 0.40, 0.56, 0.21, 0.0), (0.0, 0.02, 0.42, 0.18, 0.0),
                  (0.0, -0.35, 0.26, 0.16, 0.0)]
    else:
        stones = [(0.00, 0.40, 0.47, 0.150, 0.03), (-0.03, 0.135, 0.37, 0.128, -0.05),
                  (0.035, -0.105, 0.275, 0.112, 0.06), (-0.012, -0.305, 0.175, 0.088, -0.04),
                  (0.008, -0.45, 0.085, 0.058, 0.0)]
    edge_w = max(0.022 if not small else 0.06, 1.0 * px)
    rng = np.random.RandomState(77)
    for i, (cx, cy, ax, ay, tilt) in enumerate(stones):
        sd = stone_sdf(x, y, cx, cy, ax, ay, tilt)
        # Contact shadow on the stone below.
        if not small:
            shadow = np.exp(-np.clip(stone_sdf(x, y - 0.03, cx, cy, ax * 1.02, ay, tilt), 0, None) / 0.03)
            over(img, (0, 0, 0), shadow * 0.45 * (sd > 0) * (y > cy))
        v = np.clip((y - (cy - ay)) / (2 * ay), 0, 1)
        u = np.clip((x - (cx - ax)) / (2 * ax), 0, 1)
        tone = rng.uniform(-6, 6)
        stone = lerp_colour((196 + tone, 188 + tone, 172 + tone), (84, 76, 68), v ** 1.1)
        stone = stone + (12 * (0.5 - u))[..., None]
        if not small and size >= 128:
            grain = periodic_noise(np.random.RandomState(300 + i), size, size / 24.0)
            stone = stone + grain[..., None] * 3.0
        # Cyan rim light on the upper edge, from the glow behind.
        rim = np.exp(-np.clip(-sd, 0, None) / (0.05 if not small else 0.12)) * (v < 0.45)
        stone = stone + rim[..., None] * (CYAN - stone) * (0.35 if not small else 0.2)
        over(img, stone, coverage(sd, px))
        edge = coverage(np.abs(sd + edge_w * 0.5) - edge_w * 0.5, px)
        if small:
            # At icon sizes a dark rim separates the stones better than gilt.
            over(img, (28, 20, 12), edge)
        else:
            over(img, gold(x * 1.6 - cx, y * 1.6 - cy), edge)
    return img


def to_rgba(img):
    return Image.fromarray(np.clip(np.rint(img * [1, 1, 1, 255]), 0, 255).astype(np.uint8), "RGBA")


def render_icon(size):
    """Icons are drawn at 4x and reduced, so edges stay crisp and smooth."""
    big = render_emblem(size * 4, small=size <= 24)
    # Reduce in premultiplied form, so transparent pixels do not darken edges.
    pre = big.copy()
    pre[..., :3] *= pre[..., 3:4]
    pre = pre.reshape(size, 4, size, 4, 4).mean(axis=(1, 3))
    a = pre[..., 3:4]
    pre[..., :3] = pre[..., :3] / np.maximum(a, 1e-9)
    return to_rgba(pre)


def png_bytes(image):
    buf = io.BytesIO()
    image.save(buf, "PNG", optimize=True)
    return buf.getvalue()


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))


def quick_png_bytes(image):
    """PNG for the program's own decoder, which opens these with every first
    window: each row filtered by None, Sub or Up, whichever leaves the
    smallest differences. Undoing those costs far less than Paeth, which
    Pillow picks for most rows, and the file comes out no larger."""
    pixels = np.asarray(image)
    height, width, channels = pixels.shape
    rows = pixels.reshape(height, width * channels).astype(np.int16)
    up = np.vstack([np.zeros((1, width * channels), np.int16), rows[:-1]])
    left = np.hstack([np.zeros((height, channels), np.int16), rows[:, :-channels]])
    choices = [rows, rows - left, rows - up]  # PNG filter types 0, 1 and 2
    filtered = []
    for y in range(height):
        costs = [np.abs((c[y] + 128) % 256 - 128).sum() for c in choices]
        kind = int(np.argmin(costs))
        filtered.append(bytes([kind]) + (choices[kind][y] % 256).astype(np.uint8).tobytes())
    header = struct.pack(">IIBBBBB", width, height, 8, 6 if channels == 4 else 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", header) +
            png_chunk(b"IDAT", zlib.compress(b"".join(filtered), 9)) + png_chunk(b"IEND", b""))


def ico_entry_bmp(image):
    """A 32-bit bottom-up DIB with its (empty) AND mask, as icons carry it."""
    w, h = image.size
    bgra = np.asarray(image)[:, :, [2, 1, 0, 3]][::-1].tobytes()
    mask_row = ((w + 31) // 32) * 4
    header = struct.pack("<IiiHHIIiiII", 40, w, h * 2, 1, 32, 0, len(bgra), 0, 0, 0, 0)
    return header + bgra + bytes(mask_row * h)


# The sizes a start loads (16 to 48 pixels) stay plain bitmaps, which need no
# image decoder; the larger ones are PNG, which holds the same pixels in less.
ICO_PNG_FROM = 64


def write_ico(path, images):
    entries = []
    for img in images:
        data = png_bytes(img) if img.size[0] >= ICO_PNG_FROM else ico_entry_bmp(img)
        entries.append((img.size[0], data))
    offset = 6 + 16 * len(entries)
    out = struct.pack("<HHH", 0, 1, len(entries))
    blobs = b""
    for side, data in entries:
        dim = 0 if side >= 256 else side
        out += struct.pack("<BBBBHHII", dim, dim, 0, 0, 1, 32, len(data), offset + len(blobs))
        blobs += data
    with open(path, "wb") as f:
        f.write(out + blobs)


# ---------------------------------------------------------------- installer

# The sizes Modern UI's pages show their pictures at (96 DPI).
WIZARD_SIZE = (164, 314)
HEADER_SIZE = (150, 57)
GILT = (170, 140, 86)  # the toolkit's muted gold


def leather_area(leather, width, height):
    tile = np.asarray(leather, np.float64)
    reps = (height // TILE + 1, width // TILE + 1, 1)
    return np.tile(tile, reps)[:height, :width].copy()


def emblem_at(size):
    """The emblem drawn at 4x and reduced, as the icons are."""
    return np.asarray(render_icon(size), np.float64) / [1, 1, 1, 255]


def place(rgb, rgba, left, top):
    h, w = rgba.shape[:2]
    area = rgb[top:top + h, left:left + w]
    a = rgba[..., 3:4]
    area[...] = area * (1 - a) + rgba[..., :3] * a


def make_installer_pictures(leather):
    """Leather with a gilt edge toward the page, the emblem on it: the look
    of the program's windows beside the installer's parchment-coloured text."""
    w, h = WIZARD_SIZE
    wizard = leather_area(leather, w, h)
    wizard[:, w - 3:w - 1] = GILT
    wizard[:, w - 1] = (24, 19, 15)
    side = 132
    place(wizard, emblem_at(side), (w - 3 - side) // 2, 36)
    hw, hh = HEADER_SIZE
    header = leather_area(leather, hw, hh)
    header[:, 0:2] = GILT
    mark = 48
    place(header, emblem_at(mark), hw - mark - 10, (hh - mark) // 2)
    return to_image(wizard), to_image(header)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, "..", "res")
    os.makedirs(out, exist_ok=True)
    leather = make_leather()
    for name, image in (("leather.png", leather), ("parchment.png", make_parchment())):
        with open(os.path.join(out, name), "wb") as f:
            f.write(quick_png_bytes(image))
    with open(os.path.join(out, "emblem.png"), "wb") as f:
        f.write(quick_png_bytes(to_rgba(render_emblem(EMBLEM_SIZE))))
    write_ico(os.path.join(out, "cairnstone.ico"), [render_icon(s) for s in ICON_SIZES])
    os.makedirs(os.path.join(out, "installer"), exist_ok=True)
    wizard, header = make_installer_pictures(leather)
    wizard.save(os.path.join(out, "installer", "wizard.bmp"))
    header.save(os.path.join(out, "installer", "header.bmp"))


if __name__ == "__main__":
    main()
