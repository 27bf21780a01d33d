#!/usr/bin/python3
"""Regenerates Kalvion's bundled artwork and sounds.

Everything is drawn procedurally with Pillow and synthesised with the
standard library, so the output is byte-for-byte reproducible:

    /usr/bin/python3 tools/make_media.py

Writes into resources/image, resources/gif and resources/sound.
Needs Debian's python3-pil and the DejaVu fonts (fonts-dejavu-core).
"""

import math
import os
import random
import struct
import wave

from PIL import Image, ImageChops, ImageDraw, ImageFont

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
RES = os.path.join(ROOT, "resources")
FONT_DIR = "/usr/share/fonts/truetype/dejavu"

# Palette -------------------------------------------------------------------
BLUE = (0, 157, 226)          # brand blue #009DE2
BLUE_DARK = (0, 110, 160)
NAVY = (8, 40, 66)
WHITE = (255, 255, 255)
CHARCOAL = (38, 50, 56)
SLATE = (55, 71, 79)
LCD_BG = (196, 214, 178)      # unlit LCD green-grey
LCD_EDGE = (120, 138, 106)
LCD_INK = (28, 40, 30)
RED = (229, 57, 53)
PROBE_BLACK = (30, 30, 32)
METAL = (176, 190, 197)
SPARK = (255, 226, 40)
SPARK_EDGE = (255, 152, 0)

SAMPLE_RATE = 44100


# Small helpers -------------------------------------------------------------

def font(size, bold=True, mono=False):
    name = "DejaVuSansMono" if mono else "DejaVuSans"
    if bold:
        name += "-Bold"
    return ImageFont.truetype(os.path.join(FONT_DIR, name + ".ttf"), int(size))


def out_path(*names):
    path = os.path.join(RES, *names)
    os.makedirs(os.path.dirname(path), exist_ok=True)
    return path


def mix(a, b, t):
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def scale_pts(pts, s):
    return [(x * s, y * s) for x, y in pts]


def rotate(px, py, cx, cy, deg):
    """Rotate (px, py) around (cx, cy), degrees clockwise on screen."""
    a = math.radians(deg)
    dx, dy = px - cx, py - cy
    return (cx + dx * math.cos(a) - dy * math.sin(a),
            cy + dx * math.sin(a) + dy * math.cos(a))


def bar(d, p0, p1, width, fill):
    """Thick line with round caps."""
    d.line([p0, p1], fill=fill, width=int(width))
    r = width / 2
    for x, y in (p0, p1):
        d.ellipse([x - r, y - r, x + r, y + r], fill=fill)


def rounded_mask(size, radius):
    m = Image.new("L", size, 0)
    ImageDraw.Draw(m).rounded_rectangle([0, 0, size[0] - 1, size[1] - 1], radius, fill=255)
    return m


def diagonal_gradient(size, c0, c1):
    """Gradient from the top-left corner (c0) to the bottom-right (c1)."""
    w, h = size
    small = Image.new("RGB", (64, 64))
    for y in range(64):
        for x in range(64):
            small.putpixel((x, y), mix(c0, c1, (x + y) / 126))
    return small.resize((w, h), Image.BILINEAR)


SEGMENTS = {
    "0": "abcdef", "1": "bc", "2": "abged", "3": "abgcd", "4": "fgbc",
    "5": "afgcd", "6": "afgedc", "7": "abc", "8": "abcdefg", "9": "abcdfg",
    "-": "g", " ": "",
}


def seven_segment(d, x, y, w, h, t, ch, ink, ghost=None, slant=0.12):
    """Draw one LCD digit into the box (x, y, w, h); t is the stroke width."""
    g = t * 0.18   # gap between neighbouring segments

    def horiz(cx, cy):
        l = w / 2 - g
        return [(cx - l, cy), (cx - l + t / 2, cy - t / 2), (cx + l - t / 2, cy - t / 2),
                (cx + l, cy), (cx + l - t / 2, cy + t / 2), (cx - l + t / 2, cy + t / 2)]

    def vert(cx, cy):
        l = h / 4 - g
        return [(cx, cy - l), (cx + t / 2, cy - l + t / 2), (cx + t / 2, cy + l - t / 2),
                (cx, cy + l), (cx - t / 2, cy + l - t / 2), (cx - t / 2, cy - l + t / 2)]

    shapes = {
        "a": horiz(x + w / 2, y), "g": horiz(x + w / 2, y + h / 2), "d": horiz(x + w / 2, y + h),
        "f": vert(x, y + h / 4), "b": vert(x + w, y + h / 4),
        "e": vert(x, y + 3 * h / 4), "c": vert(x + w, y + 3 * h / 4),
    }
    lit = SEGMENTS.get(ch, "")
    for name, pts in shapes.items():
        colour = ink if name in lit else ghost
        if colour is None:
            continue
        pts = [(px + (y + h - py) * slant, py) for px, py in pts]
        d.polygon(pts, fill=colour)


def lcd_readout(d, x, y, digit_w, digit_h, t, text, ink, ghost=None):
    """Row of seven-segment digits; '.' attaches a decimal point to the previous digit."""
    pitch = digit_w + t * 2.2
    cx = x
    for ch in text:
        if ch == ".":
            r = t * 0.6
            px = cx - t * 0.9
            d.ellipse([px - r, y + digit_h - r, px + r, y + digit_h + r], fill=ink)
            continue
        seven_segment(d, cx, y, digit_w, digit_h, t, ch, ink, ghost)
        cx += pitch
    return cx


def write_wav(path, left, right):
    frames = bytearray()
    for l, r in zip(left, right):
        frames += struct.pack("<hh", l, r)
    with wave.open(path, "wb") as w:
        w.setnchannels(2)
        w.setsampwidth(2)
        w.setframerate(SAMPLE_RATE)
        w.writeframes(bytes(frames))


def to_pcm(samples, peak):
    top = max(1e-9, max(abs(v) for v in samples))
    k = peak * 32767 / top
    return [max(-32767, min(32767, int(round(v * k)))) for v in samples]


# Banner --------------------------------------------------------------------

def draw_multimeter(d, s, x0, y0):
    """Handheld meter illustration, top-left at (x0, y0), 250x490 units, scale s."""
    def R(x, y, w, h):
        return [(x0 + x) * s, (y0 + y) * s, (x0 + x + w) * s, (y0 + y + h) * s]

    # probe leads leave the jacks first so the body sits on top of them
    jacks = [(60, 430), (190, 430)]
    leads = [
        (jacks[0], PROBE_BLACK, [(60, 505), (-20, 515), (-170, 480), (-250, 420)], -60),
        (jacks[1], RED, [(200, 522), (120, 528), (-80, 525), (-240, 480), (-310, 455)], -70),
    ]
    for (jx, jy), colour, path, angle in leads:
        pts = [((x0 + jx) * s, (y0 + jy) * s)] + [((x0 + px) * s, (y0 + py) * s) for px, py in path]
        smooth = []
        for i in range(len(pts) - 1):
            (ax, ay), (bx, by) = pts[i], pts[i + 1]
            for k in range(12):
                u = k / 12
                smooth.append((ax + (bx - ax) * u, ay + (by - ay) * u))
        smooth.append(pts[-1])
        # light smoothing so the cable reads as a soft curve
        for _ in range(6):
            smooth = [smooth[0]] + [((smooth[i - 1][0] + smooth[i][0] * 2 + smooth[i + 1][0]) / 4,
                                     (smooth[i - 1][1] + smooth[i][1] * 2 + smooth[i + 1][1]) / 4)
                                    for i in range(1, len(smooth) - 1)] + [smooth[-1]]
        d.line(smooth, fill=colour, width=int(9 * s), joint="curve")
        # probe handle at the far end of the lead
        ex, ey = smooth[-1]
        body = [(-10, 0), (10, 0), (10, 90), (16, 96), (16, 108), (6, 112), (6, 150), (-6, 150),
                (-6, 112), (-16, 108), (-16, 96), (-10, 90)]
        handle = [rotate(ex + px * s, ey + py * s, ex, ey, angle + 180) for px, py in body]
        d.polygon(handle, fill=colour)
        tip_base = rotate(ex, ey + 150 * s, ex, ey, angle + 180)
        tip_end = rotate(ex, ey + 196 * s, ex, ey, angle + 180)
        bar(d, tip_base, tip_end, 5 * s, METAL)

    # rubber holster and face plate
    d.rounded_rectangle(R(0, 0, 250, 490), 46 * s, fill=(236, 241, 244))
    d.rounded_rectangle(R(0, 0, 250, 490), 46 * s, outline=(180, 194, 203), width=int(3 * s))
    d.rounded_rectangle(R(18, 18, 214, 454), 32 * s, fill=(43, 49, 55))

    # LCD
    d.rounded_rectangle(R(34, 38, 182, 118), 10 * s, fill=(60, 70, 62))
    d.rounded_rectangle(R(40, 44, 170, 106), 7 * s, fill=(200, 222, 178))
    ghost = (186, 208, 166)
    lcd_readout(d, (x0 + 50) * s, (y0 + 64) * s, 21 * s, 44 * s, 5.5 * s, "12.34", (30, 42, 32), ghost)
    d.text(((x0 + 52) * s, (y0 + 50) * s), "DC", font=font(11 * s), fill=(30, 42, 32))
    d.text(((x0 + 204) * s, (y0 + 108) * s), "V", font=font(18 * s), fill=(30, 42, 32), anchor="rs")
    bt = [(0, -6), (0, 6), (4, 3), (-4, -3), (0, -6), (4, -3), (-4, 3)]
    d.line([((x0 + 194 + px) * s, (y0 + 60 + py) * s) for px, py in bt], fill=(30, 42, 32), width=int(1.6 * s))

    # function buttons
    for i, colour in enumerate([(84, 110, 122), (84, 110, 122), (84, 110, 122), BLUE]):
        d.rounded_rectangle(R(38 + i * 45, 172, 36, 18), 8 * s, fill=colour)

    # rotary dial with range ticks
    cx, cy = (x0 + 125) * s, (y0 + 300) * s
    for i in range(11):
        a = math.radians(-200 + i * 22)
        r0, r1 = 84 * s, 94 * s
        d.line([(cx + r0 * math.cos(a), cy + r0 * math.sin(a)),
                (cx + r1 * math.cos(a), cy + r1 * math.sin(a))], fill=(200, 210, 216), width=int(3 * s))
    d.ellipse([cx - 74 * s, cy - 74 * s, cx + 74 * s, cy + 74 * s], fill=(24, 28, 32))
    d.ellipse([cx - 66 * s, cy - 66 * s, cx + 66 * s, cy + 66 * s], fill=(207, 216, 220))
    d.ellipse([cx - 52 * s, cy - 52 * s, cx + 52 * s, cy + 52 * s], fill=(236, 239, 241))
    knob = [rotate(cx + px * s, cy + py * s, cx, cy, -35) for px, py in
            [(-13, -64), (13, -64), (13, 64), (-13, 64)]]
    d.polygon(knob, fill=(120, 136, 146))
    pointer_tip = rotate(cx, cy - 58 * s, cx, cy, -35)
    bar(d, (cx, cy), pointer_tip, 6 * s, BLUE)

    # input jacks
    for (jx, jy), ring in zip(jacks + [(125, 430)], [PROBE_BLACK, RED, (120, 120, 120)]):
        px, py = (x0 + jx) * s, (y0 + jy) * s
        d.ellipse([px - 17 * s, py - 17 * s, px + 17 * s, py + 17 * s], fill=ring)
        d.ellipse([px - 8 * s, py - 8 * s, px + 8 * s, py + 8 * s], fill=(12, 12, 12))


def make_banner():
    s = 2
    w, h = 996, 580
    img = diagonal_gradient((w * s, h * s), (20, 178, 240), NAVY)
    d = ImageDraw.Draw(img)

    # faint running trace behind the title, a nod to the live graph
    trace = []
    for i in range(0, 661, 4):
        x = 30 + i
        y = 430 + 32 * math.sin(i / 38) * math.exp(-((i - 330) / 260) ** 2) + 8 * math.sin(i / 9)
        trace.append((x * s, y * s))
    d.line(trace, fill=mix((40, 150, 210), WHITE, 0.25), width=int(3 * s), joint="curve")
    for gx in range(60, 600, 60):
        d.line([(gx * s, 380 * s), (gx * s, 480 * s)], fill=mix((30, 130, 190), NAVY, 0.3), width=s)

    draw_multimeter(d, s, 690, 44)

    d.text((62 * s, 150 * s), "Kalvion", font=font(118 * s), fill=WHITE, anchor="ls")
    d.text((66 * s, 208 * s), "Bluetooth multimeter companion", font=font(30 * s, bold=False),
           fill=(215, 238, 250), anchor="ls")
    d.rounded_rectangle([66 * s, 232 * s, 186 * s, 240 * s], 4 * s, fill=WHITE)
    d.text((66 * s, 286 * s), "by Orvu", font=font(26 * s), fill=(190, 226, 246), anchor="ls")

    img = img.convert("RGBA")
    img.putalpha(rounded_mask(img.size, 36 * s))
    img = img.resize((w, h), Image.LANCZOS)
    img.save(out_path("image", "banner.png"), optimize=True)


# Application icon ----------------------------------------------------------

def make_appicon():
    s = 4
    n = 256 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.rounded_rectangle([8 * s, 8 * s, 248 * s, 248 * s], 56 * s, fill=BLUE)

    # gauge: thick arc, needle and pivot
    cx, cy, r = 128 * s, 140 * s, 80 * s
    d.arc([cx - r, cy - r, cx + r, cy + r], 150, 30, fill=WHITE, width=22 * s)
    for deg in (150, 30):
        a = math.radians(deg)
        px, py = cx + (r - 11 * s) * math.cos(a), cy + (r - 11 * s) * math.sin(a)
        d.ellipse([px - 11 * s, py - 11 * s, px + 11 * s, py + 11 * s], fill=WHITE)
    a = math.radians(-50)
    tip = (cx + 66 * s * math.cos(a), cy + 66 * s * math.sin(a))
    bar(d, (cx, cy), tip, 16 * s, WHITE)
    d.ellipse([cx - 22 * s, cy - 22 * s, cx + 22 * s, cy + 22 * s], fill=WHITE)
    d.ellipse([cx - 9 * s, cy - 9 * s, cx + 9 * s, cy + 9 * s], fill=BLUE)
    # readout bar under the gauge
    d.rounded_rectangle([88 * s, 196 * s, 168 * s, 218 * s], 11 * s, fill=WHITE)

    img = img.resize((256, 256), Image.LANCZOS)
    img.save(out_path("image", "appicon.png"), optimize=True)


# Display indicators --------------------------------------------------------

def lcd_tile(size):
    """Opaque LCD-coloured tile with a thin darker frame; reads on white and dark pages."""
    img = Image.new("RGB", size, LCD_EDGE)
    d = ImageDraw.Draw(img)
    e = max(4, size[1] // 24)
    d.rectangle([e, e, size[0] - 1 - e, size[1] - 1 - e], fill=LCD_BG)
    return img, d


def make_battery_image():
    s = 2
    img, _ = lcd_tile((196 * s, 124 * s))
    d = ImageDraw.Draw(img)
    # outline of the cell plus the terminal nub
    d.rounded_rectangle([36 * s, 30 * s, 146 * s, 94 * s], 10 * s, outline=LCD_INK, width=11 * s)
    d.rounded_rectangle([146 * s, 48 * s, 164 * s, 76 * s], 4 * s, fill=LCD_INK)
    # a single, red, nearly-empty bar
    d.rounded_rectangle([52 * s, 46 * s, 72 * s, 78 * s], 3 * s, fill=(210, 40, 36))
    img = img.resize((196, 124), Image.LANCZOS)
    img.save(out_path("image", "batteryImage.jpg"), quality=95, subsampling=0)


def make_bluetooth_image():
    s = 4
    w, h = 188, 108
    img = Image.new("RGBA", (w * s, h * s), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    # blue badge, centred, full height
    bw = 76
    left = (w - bw) / 2
    d.rounded_rectangle([left * s, 2 * s, (left + bw) * s, (h - 2) * s], 34 * s, fill=BLUE)
    cx, cy = w / 2, h / 2
    u = 21  # half-height of the rune is 2u
    rune = [(-u * 0.55, -u / 2), (u * 0.55, u / 2), (0, u), (0, -u), (u * 0.55, -u / 2), (-u * 0.55, u / 2)]
    pts = [((cx + x) * s, (cy + y * 1.8) * s) for x, y in rune]
    d.line(pts, fill=WHITE, width=9 * s, joint="curve")
    for p in (pts[0], pts[-1]):
        r = 4.5 * s
        d.ellipse([p[0] - r, p[1] - r, p[0] + r, p[1] + r], fill=WHITE)
    img = img.resize((w, h), Image.LANCZOS)
    img.save(out_path("image", "bluetoothImage.png"), optimize=True)


def make_diode_image():
    s = 2
    img, _ = lcd_tile((164 * s, 84 * s))
    d = ImageDraw.Draw(img)
    cy = 42
    d.line([(22 * s, cy * s), (142 * s, cy * s)], fill=LCD_INK, width=9 * s)
    d.polygon([(58 * s, 16 * s), (58 * s, 68 * s), (100 * s, cy * s)], fill=LCD_INK)
    d.rectangle([100 * s, 16 * s, 110 * s, 68 * s], fill=LCD_INK)
    img = img.resize((164, 84), Image.LANCZOS)
    img.save(out_path("image", "diodeImage.jpg"), quality=95, subsampling=0)


def make_signal_image():
    s = 4
    img, _ = lcd_tile((164 * s, 84 * s))
    d = ImageDraw.Draw(img)
    cy = 42
    # little speaker
    d.rectangle([30 * s, 31 * s, 44 * s, 53 * s], fill=LCD_INK)
    d.polygon([(42 * s, 31 * s), (62 * s, 16 * s), (62 * s, 68 * s), (42 * s, 53 * s)], fill=LCD_INK)
    # sound waves
    for r in (16, 32, 48):
        x = 66
        d.arc([(x - r) * s, (cy - r) * s, (x + r) * s, (cy + r) * s], -50, 50, fill=LCD_INK, width=8 * s)
    img = img.resize((164, 84), Image.LANCZOS)
    img.save(out_path("image", "signalImage.png"), optimize=True)


# Tool buttons --------------------------------------------------------------

def tool_button(name, draw_glyph):
    s = 4
    n = 256 * s
    img = Image.new("RGBA", (n, n), (0, 0, 0, 0))
    d = ImageDraw.Draw(img)
    d.ellipse([4 * s, 4 * s, 252 * s, 252 * s], fill=BLUE)
    draw_glyph(d, s)
    img = img.resize((256, 256), Image.LANCZOS)
    img.save(out_path("image", name), optimize=True)


def make_play_button():
    def glyph(d, s):
        # nudged right so the triangle looks centred in the circle
        tri = scale_pts([(104, 76), (104, 180), (186, 128)], s)
        d.polygon(tri, fill=WHITE)
        for i in range(3):
            bar(d, tri[i], tri[(i + 1) % 3], 16 * s, WHITE)   # soft corners
    tool_button("playv2.png", glyph)


def make_pause_button():
    def glyph(d, s):
        d.rounded_rectangle([84 * s, 72 * s, 116 * s, 184 * s], 8 * s, fill=WHITE)
        d.rounded_rectangle([140 * s, 72 * s, 172 * s, 184 * s], 8 * s, fill=WHITE)
    tool_button("pausev2.png", glyph)


def make_stop_button():
    def glyph(d, s):
        d.rounded_rectangle([80 * s, 80 * s, 176 * s, 176 * s], 12 * s, fill=WHITE)
    tool_button("stopv2.png", glyph)


def make_save_button():
    def glyph(d, s):
        # floppy disk: body with a clipped corner, shutter and label cut out in blue
        body = [(70, 66), (164, 66), (188, 90), (188, 190), (70, 190)]
        d.polygon(scale_pts(body, s), fill=WHITE)
        d.line(scale_pts(body + [body[0]], s), fill=WHITE, width=10 * s, joint="curve")
        d.rectangle([96 * s, 66 * s, 152 * s, 104 * s], fill=BLUE)
        d.rectangle([132 * s, 74 * s, 144 * s, 96 * s], fill=WHITE)
        d.rounded_rectangle([92 * s, 132 * s, 166 * s, 178 * s], 6 * s, fill=BLUE)
    tool_button("savev2.png", glyph)


# Busy spinner --------------------------------------------------------------

def ramp_palette(c0, c1, count):
    entries = []
    for i in range(count):
        entries += mix(c0, c1, i / (count - 1))
    return entries


def make_loading_gif():
    s = 4
    w, h = 400, 300
    dots, frames = 12, 12
    palette = ramp_palette(WHITE, BLUE, 64)
    images = []
    for f in range(frames):
        img = Image.new("RGB", (w * s, h * s), WHITE)
        d = ImageDraw.Draw(img)
        cx, cy, ring = 200 * s, 150 * s, 72 * s
        for i in range(dots):
            age = (f - i) % dots                  # 0 = head of the sweep
            strength = max(0.12, 1.0 - age / (dots * 0.8))
            r = (9 + 5 * strength) * s
            a = math.radians(i * 360 / dots - 90)
            x, y = cx + ring * math.cos(a), cy + ring * math.sin(a)
            d.ellipse([x - r, y - r, x + r, y + r], fill=mix(WHITE, BLUE, strength))
        img = img.resize((w, h), Image.LANCZOS)
        # every pixel is a white-to-blue blend, so the red channel alone gives the ramp index
        index = img.getchannel("R").point(lambda v: round((255 - v) * 63 / 255))
        frame = Image.frombytes("P", (w, h), index.tobytes())
        frame.putpalette(palette)
        images.append(frame)
    images[0].save(out_path("gif", "Loading_icon.gif"), save_all=True, append_images=images[1:],
                   duration=70, loop=0, optimize=False, disposal=1)


# Startup mascot ------------------------------------------------------------

TOVIK_W, TOVIK_H = 1080, 1920
TOVIK_FRAMES = 145
FRAME_S = 0.04
WALK_START, WALK_END = 0.8, 5.05     # footsteps sound runs 0.8 s .. 5.8 s
FIRST_STEP = 1.05                    # first thud is 0.25 s into footsteps.wav
GROUND_Y = 1560
WAVE_START = 112                     # the right arm comes up as Tovik slows down, then waves
SKY = (246, 251, 254)
FLOOR = (226, 241, 250)
SHADOW = (200, 226, 242)


def tovik_background(s):
    img = Image.new("RGB", (TOVIK_W * s, TOVIK_H * s), SKY)
    d = ImageDraw.Draw(img)
    d.rectangle([0, 1380 * s, TOVIK_W * s, TOVIK_H * s], fill=FLOOR)
    d.line([(0, 1380 * s), (TOVIK_W * s, 1380 * s)], fill=(196, 225, 242), width=4 * s)
    d.text((540 * s, 470 * s), "Kalvion", font=font(176 * s), fill=BLUE, anchor="ms")
    d.text((540 * s, 610 * s), "by Orvu", font=font(54 * s), fill=(110, 128, 140), anchor="ms")
    d.text((540 * s, 1790 * s), "Bluetooth multimeter companion", font=font(40 * s, bold=False),
           fill=(122, 140, 152), anchor="ms")
    return img


def draw_tovik(d, s, cx, lift_l, lift_r, bob, swing, face, spark_rng=None, wave_angle=None):
    """Tovik, the walking meter. cx is the centre line, feet rest on GROUND_Y.

    wave_angle, when given, replaces the swing of the right arm (degrees from hanging down)."""
    def P(x, y):
        return ((cx + x) * s, (GROUND_Y + y) * s)

    def box(x0, y0, x1, y1):
        return [(cx + x0) * s, (GROUND_Y + y0) * s, (cx + x1) * s, (GROUND_Y + y1) * s]

    bottom = -130 + bob
    top = bottom - 500

    # legs and feet
    for lx, lift in ((-70, lift_l), (70, lift_r)):
        bar(d, P(lx, bottom - 10), P(lx, -24 - lift), 30 * s, SLATE)
        fx = lx + (10 if lx > 0 else -10)
        d.rounded_rectangle(box(fx - 50, -38 - lift, fx + 50, -lift), 16 * s, fill=CHARCOAL)

    # arms end in test probes: black on the left, red on the right
    right = 24 - swing if wave_angle is None else wave_angle
    for side, colour, angle in ((-1, PROBE_BLACK, 24 + swing), (1, RED, right)):
        sx, sy = side * 160, top + 300
        a = math.radians(angle)
        hx, hy = sx + side * 120 * math.sin(a), sy + 120 * math.cos(a)
        bar(d, P(sx, sy), P(hx, hy), 18 * s, colour)
        # probe handle continues along the arm
        ux, uy = side * math.sin(a), math.cos(a)
        px, py = -uy, ux
        def along(t, off):
            return P(hx + ux * t + px * off * side, hy + uy * t + py * off * side)
        d.polygon([along(0, -16), along(0, 16), along(70, 12), along(70, -12)], fill=colour)
        d.polygon([along(62, -20), along(62, 20), along(74, 20), along(74, -20)], fill=colour)
        bar(d, along(74, 0), along(118, 0), 9 * s, METAL)

    # antenna
    bar(d, P(0, top + 10), P(0, top - 80), 12 * s, SLATE)
    ball = (255, 224, 90) if spark_rng else BLUE_DARK
    if spark_rng:
        d.ellipse(box(-44, top - 144, 44, top - 56), fill=(255, 246, 190))
    d.ellipse(box(-22, top - 122, 22, top - 78), fill=ball)

    # body: blue holster, dark face plate
    d.rounded_rectangle(box(-170, top, 170, bottom), 64 * s, fill=BLUE)
    d.rounded_rectangle(box(-170, top, 170, bottom), 64 * s, outline=BLUE_DARK, width=6 * s)
    d.rounded_rectangle(box(-144, top + 26, 144, bottom - 26), 44 * s, fill=CHARCOAL)

    # LCD face
    d.rounded_rectangle(box(-120, top + 50, 120, top + 214), 20 * s, fill=(92, 108, 96))
    d.rounded_rectangle(box(-112, top + 58, 112, top + 206), 14 * s, fill=LCD_BG)
    ink = LCD_INK
    for ex in (-50, 50):
        if face == "blink":
            d.rounded_rectangle(box(ex - 20, top + 126, ex + 20, top + 136), 5 * s, fill=ink)
        elif face == "happy":
            d.line([P(ex - 22, top + 140), P(ex, top + 112), P(ex + 22, top + 140)],
                   fill=ink, width=11 * s, joint="curve")
        else:
            d.rounded_rectangle(box(ex - 17, top + 96, ex + 17, top + 160), 12 * s, fill=ink)
    mouth_r = 30 if face == "happy" else 22
    d.arc(box(-mouth_r, top + 150 - mouth_r, mouth_r, top + 150 + mouth_r), 25, 155, fill=ink, width=8 * s)

    # keys
    for i in range(4):
        colour = BLUE if i == 3 else (84, 110, 122)
        d.rounded_rectangle(box(-110 + i * 58, top + 234, -110 + i * 58 + 46, top + 258), 10 * s, fill=colour)

    # rotary dial
    dcx, dcy = 0, top + 360
    for i in range(9):
        a = math.radians(-210 + i * 30)
        d.line([P(dcx + 86 * math.cos(a), dcy + 86 * math.sin(a)),
                P(dcx + 100 * math.cos(a), dcy + 100 * math.sin(a))], fill=(176, 190, 197), width=5 * s)
    d.ellipse(box(dcx - 74, dcy - 74, dcx + 74, dcy + 74), fill=(20, 24, 28))
    d.ellipse(box(dcx - 66, dcy - 66, dcx + 66, dcy + 66), fill=(207, 216, 220))
    d.ellipse(box(dcx - 50, dcy - 50, dcx + 50, dcy + 50), fill=(236, 239, 241))
    a = math.radians(-60 + swing * 0.8)
    bar(d, P(dcx, dcy), P(dcx + 56 * math.cos(a), dcy + 56 * math.sin(a)), 12 * s, BLUE)

    # input jacks
    for jx, ring in ((-60, PROBE_BLACK), (60, RED)):
        d.ellipse(box(jx - 16, top + 446, jx + 16, top + 478), fill=ring)
        d.ellipse(box(jx - 7, top + 455, jx + 7, top + 469), fill=(10, 10, 10))

    # electric buzz around the antenna tip
    if spark_rng:
        bx, by = 0, top - 100
        for k in range(5):
            # bolts fan out over the upper half so they never cross the body
            a = math.radians(-180 + k * 45 + spark_rng.uniform(-12, 12))
            length = spark_rng.uniform(60, 115)
            pts = [(bx + 26 * math.cos(a), by + 26 * math.sin(a))]
            segs = 4
            for j in range(1, segs + 1):
                r = 26 + length * j / segs
                kink = (1 if j % 2 else -1) * spark_rng.uniform(10, 22)
                pts.append((bx + r * math.cos(a) - kink * math.sin(a),
                            by + r * math.sin(a) + kink * math.cos(a)))
            d.line([P(x, y) for x, y in pts], fill=SPARK_EDGE, width=14 * s, joint="curve")
            d.line([P(x, y) for x, y in pts], fill=SPARK, width=6 * s, joint="curve")
        for _ in range(5):
            a = spark_rng.uniform(-math.pi, 0)
            r = spark_rng.uniform(60, 150)
            x, y = bx + r * math.cos(a), by + r * math.sin(a)
            d.ellipse(box(x - 7, y - 7, x + 7, y + 7), fill=SPARK)


def tovik_frame(background, n):
    s = 2
    t = n * FRAME_S
    img = background.copy()
    d = ImageDraw.Draw(img)

    # title underline sweeps in during the first second
    grow = min(1.0, n / 30)
    half = 260 * grow
    if half > 1:
        d.rounded_rectangle([(540 - half) * s, 510 * s, (540 + half) * s, 526 * s], 8 * s, fill=BLUE)

    if t < WALK_START:
        return img.reduce(s)

    # walking: one footfall every 0.5 s, lined up with the footsteps sound
    u = min(1.0, (t - WALK_START) / (WALK_END - WALK_START))
    cx = -300 + (540 + 300) * math.sin(u * math.pi / 2)
    walking = t < WALK_END
    phase = 2 * math.pi * (t - FIRST_STEP) if walking else 0.0
    lift_l = 44 * max(0.0, math.sin(phase))
    lift_r = 44 * max(0.0, -math.sin(phase))
    bob = -12 * abs(math.sin(phase))
    swing = 14 * math.sin(phase)

    sparking = n >= TOVIK_FRAMES - 17
    face = "happy" if sparking else ("blink" if 70 <= n <= 72 else "open")
    rng = random.Random(1000 + n) if sparking else None

    # the right arm rises over eight frames, then waves to and fro every 0.4 s
    wave_angle = None
    if n >= WAVE_START:
        rise = min(1.0, (n - WAVE_START) / 8)
        wave = 18 * math.sin(2 * math.pi * (n - WAVE_START) / 10)
        wave_angle = (24 - swing) * (1 - rise) + (145 + wave) * rise

    d.ellipse([(cx - 180) * s, (GROUND_Y - 22) * s, (cx + 180) * s, (GROUND_Y + 22) * s], fill=SHADOW)
    draw_tovik(d, s, cx, lift_l, lift_r, bob, swing, face, rng, wave_angle)
    return img.reduce(s)


def tovik_frames():
    background = tovik_background(2)
    frames = [tovik_frame(background, n) for n in range(TOVIK_FRAMES)]

    # one shared palette keeps the frame-to-frame deltas small
    sample = Image.new("RGB", (TOVIK_W * 2, TOVIK_H * 2))
    for i, n in enumerate((10, 60, 110, TOVIK_FRAMES - 1)):
        sample.paste(frames[n], ((i % 2) * TOVIK_W, (i // 2) * TOVIK_H))
    palette = sample.quantize(colors=128, method=Image.Quantize.MEDIANCUT, dither=Image.Dither.NONE)
    indexed = [f.quantize(palette=palette, dither=Image.Dither.NONE) for f in frames]

    # the GIF writer folds identical neighbours into one frame; every frame must move
    for a, b in zip(indexed, indexed[1:]):
        assert ImageChops.difference(a.convert("RGB"), b.convert("RGB")).getbbox(), "static frame"
    return indexed


def make_tovik_gif():
    frames = tovik_frames()
    frames[0].save(out_path("gif", "tovik.gif"), save_all=True, append_images=frames[1:],
                   duration=int(FRAME_S * 1000), loop=0, optimize=False, disposal=1)
    # last still, used once the animation has finished (GIF data, name kept for the loader)
    frames[-1].save(out_path("image", "tovik_last_frame.png"), format="GIF", optimize=False)


# Sounds --------------------------------------------------------------------

def make_footsteps_wav():
    rng = random.Random(7)
    n = int(5.0 * SAMPLE_RATE)
    left = [0.0] * n
    right = [0.0] * n
    for k in range(9):                       # thuds at 0.25 s, 0.75 s, ... 4.25 s
        start = int((0.25 + 0.5 * k) * SAMPLE_RATE)
        gain = rng.uniform(0.8, 1.0)
        pitch = rng.uniform(68, 84)
        pan = -0.25 if k % 2 == 0 else 0.25
        gl, gr = math.cos((pan + 1) * math.pi / 4), math.sin((pan + 1) * math.pi / 4)
        lp1 = lp2 = hp_prev = scuff_lp = 0.0
        phase = 0.0
        for i in range(int(0.4 * SAMPLE_RATE)):
            if start + i >= n:
                break
            t = i / SAMPLE_RATE
            attack = 1.0 - math.exp(-t / 0.003)
            # low body of the step with a little pitch drop
            f = pitch * (1 + 0.6 * math.exp(-t / 0.02))
            phase += 2 * math.pi * f / SAMPLE_RATE
            body = math.sin(phase) * math.exp(-t / 0.07)
            # muffled noise: white noise through two one-pole low-passes
            white = rng.uniform(-1, 1)
            lp1 += 0.055 * (white - lp1)
            lp2 += 0.055 * (lp1 - lp2)
            thump = lp2 * 6 * math.exp(-t / 0.045)
            # a faint scuff of the sole
            hp = white - hp_prev
            hp_prev = white
            scuff_lp += 0.3 * (hp - scuff_lp)
            scuff = scuff_lp * 0.06 * math.exp(-max(0.0, t - 0.02) / 0.025) if t > 0.02 else 0.0
            v = gain * attack * (0.8 * body + thump + scuff)
            left[start + i] += v * gl
            right[start + i] += v * gr
    peak = max(max(abs(v) for v in left), max(abs(v) for v in right))
    write_wav(out_path("sound", "footsteps.wav"),
              to_pcm(left + [peak], 0.7)[:-1], to_pcm(right + [peak], 0.7)[:-1])


def make_buzz_wav():
    rng = random.Random(11)
    n = 48069
    channels = []
    for detune in (1.0, 1.004):
        f0 = 110.0 * detune
        harmonics = int(5000 / f0)
        crackle = 0.0
        out = []
        phase = 0.0
        for i in range(n):
            t = i / SAMPLE_RATE
            phase += 2 * math.pi * f0 * (1 + 0.01 * math.sin(2 * math.pi * 6 * t)) / SAMPLE_RATE
            saw = 0.0
            square = 0.0
            for h in range(1, harmonics + 1):
                sh = math.sin(h * phase)
                saw += sh / h
                if h % 2 and h * 2 <= harmonics:
                    square += math.sin(2 * h * phase) / h
            # random snaps of the arc
            if rng.random() < 0.002:
                crackle = rng.uniform(0.5, 1.0) * rng.choice((-1, 1))
            crackle *= 0.97
            tone = 0.6 * saw + 0.3 * square + 0.5 * crackle * rng.uniform(-1, 1)
            # "bz-bz-bzzzt": three bursts, the last one fading out
            env = 0.0
            for a, b, level in ((0.0, 0.30, 0.8), (0.36, 0.58, 0.9), (0.64, n / SAMPLE_RATE, 1.0)):
                if a <= t < b:
                    edge = min(1.0, (t - a) / 0.012, (b - t) / 0.02)
                    env = level * edge
            tail = n / SAMPLE_RATE - t
            if tail < 0.3:
                env *= 0.5 - 0.5 * math.cos(math.pi * tail / 0.3)
            flutter = 1 + 0.25 * math.sin(2 * math.pi * 17 * t)
            out.append(tone * env * flutter)
        channels.append(out)
    peak = max(abs(v) for ch in channels for v in ch)
    left, right = [to_pcm(ch + [peak], 0.6)[:-1] for ch in channels]
    write_wav(out_path("sound", "buzz.wav"), left, right)


def main():
    make_banner()
    make_appicon()
    make_battery_image()
    make_bluetooth_image()
    make_diode_image()
    make_signal_image()
    make_play_button()
    make_pause_button()
    make_stop_button()
    make_save_button()
    make_loading_gif()
    make_tovik_gif()
    make_footsteps_wav()
    make_buzz_wav()


if __name__ == "__main__":
    main()
