#!/usr/bin/env python3
"""Draws Sorvane's intro video and program icon into the application folder.

    make_assets.py --out <application folder> --ffmpeg <path to ffmpeg>

Makes:
  intro.avi    480x270, 25 frames/s, 7.2 s: a waveform that grows out of a stage line, the
               SORVANE wordmark wiped in above it, a tag line and a soft chime. The program
               plays the first 4 s of it at double speed, then 2 s at normal speed, then closes
               the window one second later, so the wordmark is complete just before the speed
               changes and the chime sounds at normal speed.
  sorvane.ico  the program's icon (a speaker with sound waves on a dark blue rounded square)
               at 16, 32, 48 and 256 px, each entry a PNG image.
  sorvane.png  the 256 px icon for the desktop's icon theme.

Every pixel and every sample is computed here with the standard library; the letters come from
the stroke font below. ffmpeg only encodes the frames (read raw from its stdin) and the chime.
"""
import argparse
import math
import os
import pathlib
import random
import struct
import subprocess
import sys
import tempfile
import time
import wave
import zlib

# ---------------------------------------------------------------------------------------------
# Stroke font: block capitals built from straight strokes and rounded right-angle corners.
#
# A glyph is (advance width, strokes); a stroke is (closed, points). Coordinates are in cap
# heights with y downwards: 0 = cap line, 1 = base line. A point (x, y, r) rounds the corner at
# that point with a circular arc of radius r. Strokes are drawn with round ends, so the letters
# reach half a stroke width beyond their boxes.


def _s(*points, closed=False):
    return (closed, points)


def _glyphs():
    g = {}
    w = 0.78
    g['S'] = (w, [_s((w, 0), (0, 0, .24), (0, .48, .24), (w, .48, .26), (w, 1, .26), (0, 1))])
    w = 0.82
    g['O'] = (w, [_s((0, 0, .3), (w, 0, .3), (w, 1, .3), (0, 1, .3), closed=True)])
    w = 0.78
    g['R'] = (w, [_s((0, 1), (0, 0), (w, 0, .24), (w, .52, .24), (0, .52)),
                  _s((.42 * w, .52), (w, 1))])
    w = 0.84
    g['V'] = (w, [_s((0, 0), (w / 2, 1), (w, 0))])
    x = (1 - .66) * w / 2
    g['A'] = (w, [_s((0, 1), (w / 2, 0), (w, 1)), _s((x, .66), (w - x, .66))])
    w = 0.80
    g['N'] = (w, [_s((0, 1), (0, 0), (w, 1), (w, 0))])
    w = 0.72
    g['E'] = (w, [_s((w, 0), (0, 0), (0, 1), (w, 1)), _s((0, .5), (.82 * w, .5))])
    w = 0.78
    g['H'] = (w, [_s((0, 0), (0, 1)), _s((w, 0), (w, 1)), _s((0, .5), (w, .5))])
    w = 1.10
    g['W'] = (w, [_s((0, 0), (.25 * w, 1), (.5 * w, .3), (.75 * w, 1), (w, 0))])
    w = 0.78
    g['C'] = (w, [_s((w, 0), (0, 0, .3), (0, 1, .3), (w, 1))])
    g['T'] = (w, [_s((0, 0), (w, 0)), _s((w / 2, 0), (w / 2, 1))])
    w = 0.70
    g['L'] = (w, [_s((0, 0), (0, 1), (w, 1))])
    w = 0.80
    g['U'] = (w, [_s((0, 0), (0, 1, .3), (w, 1, .3), (w, 0))])
    w = 0.82
    g['D'] = (w, [_s((0, 0), (w, 0, .3), (w, 1, .3), (0, 1), closed=True)])
    w = 0.78
    g['P'] = (w, [_s((0, 1), (0, 0), (w, 0, .24), (w, .55, .24), (0, .55))])
    w = 0.84
    g['Y'] = (w, [_s((0, 0), (w / 2, .5), (w, 0)), _s((w / 2, .5), (w / 2, 1))])
    g[' '] = (0.5, [])
    return g


GLYPHS = _glyphs()


def _fillet(prev, p, nxt, r, steps=8):
    """The arc that rounds the corner p between prev and nxt, as a list of points."""
    ax, ay = prev[0] - p[0], prev[1] - p[1]
    bx, by = nxt[0] - p[0], nxt[1] - p[1]
    la, lb = math.hypot(ax, ay), math.hypot(bx, by)
    ax, ay, bx, by = ax / la, ay / la, bx / la, by / la
    theta = math.acos(max(-1.0, min(1.0, ax * bx + ay * by)))
    if theta < 1e-3 or theta > math.pi - 1e-3:
        return [p]
    t = min(r / math.tan(theta / 2), la / 2, lb / 2)
    r = t * math.tan(theta / 2)
    mx, my = ax + bx, ay + by
    ml = math.hypot(mx, my)
    d = r / math.sin(theta / 2)
    cx, cy = p[0] + mx / ml * d, p[1] + my / ml * d
    t1 = (p[0] + ax * t, p[1] + ay * t)
    t2 = (p[0] + bx * t, p[1] + by * t)
    a1 = math.atan2(t1[1] - cy, t1[0] - cx)
    a2 = math.atan2(t2[1] - cy, t2[0] - cx)
    sweep = (a2 - a1 + math.pi) % (2 * math.pi) - math.pi
    return [(cx + r * math.cos(a1 + sweep * i / steps), cy + r * math.sin(a1 + sweep * i / steps))
            for i in range(steps + 1)]


def _stroke_segments(closed, points):
    """The straight pieces of one stroke, its rounded corners cut into short chords."""
    n = len(points)
    path = []
    for i, p in enumerate(points):
        r = p[2] if len(p) > 2 else 0
        has_neighbours = closed or 0 < i < n - 1
        if r > 0 and has_neighbours:
            path.extend(_fillet(points[i - 1], p, points[(i + 1) % n], r))
        else:
            path.append((p[0], p[1]))
    if closed:
        path.append(path[0])
    return [(path[i][0], path[i][1], path[i + 1][0], path[i + 1][1]) for i in range(len(path) - 1)]


def text_width(text, tracking):
    return sum(GLYPHS[c][0] for c in text) + tracking * (len(text) - 1)


def render_text(text, cap, weight, tracking):
    """Coverage (0..1) of text drawn with cap height `cap` px and stroke width `weight` cap
    heights; `tracking` is the gap between letters in cap heights. Returns (w, h, cov, pad)."""
    half = weight * cap / 2
    pad = int(math.ceil(half)) + 2
    w = int(math.ceil(text_width(text, tracking) * cap)) + 2 * pad
    h = int(math.ceil(cap)) + 2 * pad
    far = 1e9
    dist = [far] * (w * h)
    pen = 0.0
    for c in text:
        advance, strokes = GLYPHS[c]
        for closed, points in strokes:
            for x1, y1, x2, y2 in _stroke_segments(closed, points):
                x1, x2 = pad + (pen + x1) * cap, pad + (pen + x2) * cap
                y1, y2 = pad + y1 * cap, pad + y2 * cap
                dx, dy = x2 - x1, y2 - y1
                ll = dx * dx + dy * dy or 1e-12
                lo_x = max(0, int(min(x1, x2) - half - 1))
                hi_x = min(w, int(max(x1, x2) + half + 2))
                lo_y = max(0, int(min(y1, y2) - half - 1))
                hi_y = min(h, int(max(y1, y2) + half + 2))
                for py in range(lo_y, hi_y):
                    cy = py + 0.5
                    row = py * w
                    for px in range(lo_x, hi_x):
                        cx = px + 0.5
                        t = ((cx - x1) * dx + (cy - y1) * dy) / ll
                        t = 0.0 if t < 0 else (1.0 if t > 1 else t)
                        ex, ey = x1 + t * dx - cx, y1 + t * dy - cy
                        d = ex * ex + ey * ey
                        if d < dist[row + px]:
                            dist[row + px] = d
        pen += advance + tracking
    cov = []
    for d in dist:
        c = half + 0.5 - math.sqrt(d)
        cov.append(0.0 if c <= 0 else (1.0 if c >= 1 else c))
    return w, h, cov, pad


def box_blur(values, w, h, radius):
    """Separable box blur of a w x h grid of floats (edges clamp to zero outside)."""
    n = 2 * radius + 1
    tmp = [0.0] * (w * h)
    for y in range(h):
        row = y * w
        acc = 0.0
        for x in range(-radius, w + radius):
            if x + radius < w:
                acc += values[row + x + radius]
            if 0 <= x - radius - 1 < w:
                acc -= values[row + x - radius - 1]
            if 0 <= x < w:
                tmp[row + x] = acc / n
    out = [0.0] * (w * h)
    for x in range(w):
        acc = 0.0
        for y in range(-radius, h + radius):
            if y + radius < h:
                acc += tmp[(y + radius) * w + x]
            if 0 <= y - radius - 1 < h:
                acc -= tmp[(y - radius - 1) * w + x]
            if 0 <= y < h:
                out[y * w + x] = acc / n
    return out


# ---------------------------------------------------------------------------------------------
# The intro video.

W, H, FPS = 480, 270, 25
DURATION = 7.2
FRAMES = int(round(DURATION * FPS))
RATE = 22050

# Backdrop and accent colours.
SKY_TOP = (15, 30, 64)
SKY_BOTTOM = (5, 11, 28)
GLOW = (22, 48, 96)
TEXT_TOP = (255, 255, 255)
TEXT_BOTTOM = (196, 222, 255)
TEXT_GLOW = (64, 156, 255)
TAG = (132, 164, 214)
BAR_ROOT = (22, 118, 196)
BAR_TIP = (128, 232, 255)
LINE = (70, 150, 230)

# Layout.
WORD_CAP, WORD_WEIGHT, WORD_TRACK, WORD_TOP = 44, 0.15, 0.30, 58
TAG_TEXT = 'SHOW CONTROL SOUND PLAYER'
TAG_CAP, TAG_WEIGHT, TAG_TRACK, TAG_TOP = 9, 0.17, 0.55, 126
WAVE_Y, WAVE_MAX, WAVE_REFLECT = 200, 44, 0.45
WAVE_X0, WAVE_X1, BAR_W, BAR_PITCH = 48, 432, 4, 6

# Time line (seconds of video).
LINE_IN = (0.0, 0.9)       # the stage line opens from the middle
BARS_IN = (0.4, 2.6)       # the bars rise, from the middle outwards
WORD_IN = (3.0, 3.9)       # the wordmark is wiped in from the left
TAG_IN = (4.0, 4.7)        # the tag line fades in
CHIME_AT = 4.0             # the chime, once the program plays at normal speed


def smoothstep(a, b, t):
    if t <= a:
        return 0.0
    if t >= b:
        return 1.0
    x = (t - a) / (b - a)
    return x * x * (3 - 2 * x)


def mix(c1, c2, a):
    a = 0.0 if a < 0 else (1.0 if a > 1 else a)
    return tuple(int(round(c1[i] + (c2[i] - c1[i]) * a)) for i in range(3))


def make_backdrop():
    """Dark blue gradient, a faint light behind the wordmark, darker corners."""
    buf = bytearray(W * H * 3)
    cx, cy = W / 2, WORD_TOP + WORD_CAP / 2 + 10
    for y in range(H):
        base = mix(SKY_TOP, SKY_BOTTOM, y / (H - 1))
        gy = ((y - cy) / 110.0) ** 2
        vy = ((y - H / 2) / (H / 2)) ** 2
        o = y * W * 3
        for x in range(W):
            g = math.exp(-(((x - cx) / 210.0) ** 2 + gy))
            v = 1.0 - 0.38 * min(1.0, (((x - W / 2) / (W / 2)) ** 2 + vy) / 2) ** 1.4
            buf[o] = min(255, int((base[0] + GLOW[0] * g) * v + 0.5))
            buf[o + 1] = min(255, int((base[1] + GLOW[1] * g) * v + 0.5))
            buf[o + 2] = min(255, int((base[2] + GLOW[2] * g) * v + 0.5))
            o += 3
    return buf


class Layer:
    """A rectangle of the picture with its finished pixels (drawn over the backdrop)."""

    def __init__(self, x0, y0, w, h, pixels):
        self.x0, self.y0, self.w, self.h, self.pixels = x0, y0, w, h, pixels

    def paste(self, frame, right=None):
        """Copies the layer into the frame, only left of x = right if given."""
        x1 = self.x0 + self.w if right is None else max(self.x0, min(self.x0 + self.w, right))
        n = (x1 - self.x0) * 3
        if n <= 0:
            return
        for r in range(self.h):
            o = ((self.y0 + r) * W + self.x0) * 3
            s = r * self.w * 3
            frame[o:o + n] = self.pixels[s:s + n]

    def blend(self, frame, alpha_at_x):
        """Mixes the layer into the frame with an opacity that depends on x."""
        for xi in range(self.w):
            a = alpha_at_x(self.x0 + xi)
            if a <= 0:
                continue
            for r in range(self.h):
                o = ((self.y0 + r) * W + self.x0 + xi) * 3
                s = (r * self.w + xi) * 3
                for k in range(3):
                    frame[o + k] = int(frame[o + k] + (self.pixels[s + k] - frame[o + k]) * a + 0.5)


def make_text_layer(backdrop, text, cap, weight, track, top, colour_top, colour_bottom, glow):
    w, h, cov, pad = render_text(text, cap, weight, track)
    halo = None
    if glow:
        g_pad = 12
        gw, gh = w + 2 * g_pad, h + 2 * g_pad
        grown = [0.0] * (gw * gh)
        for y in range(h):
            grown[(y + g_pad) * gw + g_pad:(y + g_pad) * gw + g_pad + w] = cov[y * w:(y + 1) * w]
        halo = box_blur(box_blur(grown, gw, gh, 5), gw, gh, 5)
        x0, y0 = (W - gw) // 2, top - pad - g_pad
        ow, oh = gw, gh
    else:
        g_pad = 0
        x0, y0 = (W - w) // 2, top - pad
        ow, oh = w, h
    pixels = bytearray(ow * oh * 3)
    for y in range(oh):
        ty = y - g_pad
        colour = mix(colour_top, colour_bottom, min(1.0, max(0.0, (ty - pad) / cap)))
        for x in range(ow):
            o = ((y0 + y) * W + x0 + x) * 3
            px = list(backdrop[o:o + 3])
            if halo is not None:
                a = min(1.0, halo[y * ow + x] * 0.42)
                px = [px[k] + (glow[k] - px[k]) * a for k in range(3)]
            tx = x - g_pad
            if 0 <= ty < h and 0 <= tx < w:
                a = cov[ty * w + tx]
                px = [px[k] + (colour[k] - px[k]) * a for k in range(3)]
            s = (y * ow + x) * 3
            pixels[s:s + 3] = bytes(int(v + 0.5) for v in px)
    return Layer(x0, y0, ow, oh, pixels)


class Waveform:
    """Mirrored level bars standing on the stage line, with a dim reflection below it."""

    def __init__(self, backdrop):
        self.backdrop = backdrop
        self.count = (WAVE_X1 - WAVE_X0 - BAR_W) // BAR_PITCH + 1
        used = (self.count - 1) * BAR_PITCH + BAR_W
        self.x0 = (W - used) // 2
        rnd = random.Random(1998)
        self.grain = [0.78 + 0.22 * rnd.random() for _ in range(self.count)]
        self.phase = [rnd.random() * 6.283 for _ in range(self.count)]
        # one run of bar colour per height above (or below) the line
        self.up = [bytes(mix(BAR_ROOT, BAR_TIP, k / WAVE_MAX)) * BAR_W for k in range(WAVE_MAX + 2)]
        self.down = [bytes(mix(mix(BAR_ROOT, SKY_BOTTOM, 0.45), SKY_BOTTOM,
                               k / (WAVE_MAX * WAVE_REFLECT + 1))) * BAR_W
                     for k in range(WAVE_MAX + 2)]
        # the stage line, fading towards both ends
        self.line = bytearray(W * 3)
        mid = W / 2
        for x in range(W):
            a = 0.85 * max(0.0, 1 - abs(x - mid) / (mid - 20)) ** 0.6
            o = (WAVE_Y * W + x) * 3
            self.line[x * 3:x * 3 + 3] = bytes(mix(backdrop[o:o + 3], LINE, a))

    def level(self, i, t):
        """Height of bar i at time t, 0..1."""
        n = self.count
        u = (i + 0.5) / n
        envelope = math.sin(math.pi * u) ** 0.7
        spread = abs(u - 0.5) * 2
        rise = smoothstep(BARS_IN[0] + 0.9 * spread, BARS_IN[0] + 0.9 * spread + 1.3, t)
        calm = 1 - 0.25 * smoothstep(4.5, 7.0, t)
        s = (0.55 * math.sin(0.29 * i - 4.6 * t + self.phase[0])
             + 0.30 * math.sin(0.71 * i + 3.3 * t + 1.3)
             + 0.15 * math.sin(1.93 * i - 7.1 * t + self.phase[i] * 0.3))
        value = 0.22 + 0.78 * abs(s)
        return envelope * rise * calm * value * self.grain[i]

    def draw(self, frame, t):
        grow = smoothstep(LINE_IN[0], LINE_IN[1], t)
        half = int(grow * W / 2)
        if half > 0:
            o = WAVE_Y * W * 3
            a, b = (W // 2 - half) * 3, (W // 2 + half) * 3
            frame[o + a:o + b] = self.line[a:b]
        bw3 = BAR_W * 3
        for i in range(self.count):
            h = self.level(i, t) * WAVE_MAX
            if h < 0.05:
                continue
            x = self.x0 + i * BAR_PITCH
            full = int(h)
            frac = h - full
            for k in range(full):
                o = ((WAVE_Y - 1 - k) * W + x) * 3
                frame[o:o + bw3] = self.up[k]
            self._soft_edge(frame, x, WAVE_Y - 1 - full, self.up[full], frac)
            hr = h * WAVE_REFLECT
            full_r = int(hr)
            for k in range(full_r):
                o = ((WAVE_Y + 1 + k) * W + x) * 3
                frame[o:o + bw3] = self.down[k]
            self._soft_edge(frame, x, WAVE_Y + 1 + full_r, self.down[full_r], hr - full_r)

    @staticmethod
    def _soft_edge(frame, x, y, colour, a):
        if a <= 0.02:
            return
        o = (y * W + x) * 3
        for k in range(BAR_W * 3):
            frame[o + k] = int(frame[o + k] + (colour[k] - frame[o + k]) * a + 0.5)


def frames():
    """Yields every frame of the intro as raw RGB24 bytes."""
    backdrop = make_backdrop()
    word = make_text_layer(backdrop, 'SORVANE', WORD_CAP, WORD_WEIGHT, WORD_TRACK, WORD_TOP,
                           TEXT_TOP, TEXT_BOTTOM, TEXT_GLOW)
    tag = make_text_layer(backdrop, TAG_TEXT, TAG_CAP, TAG_WEIGHT, TAG_TRACK, TAG_TOP,
                          TAG, TAG, None)
    wave_ = Waveform(backdrop)
    finished = bytearray(backdrop)
    word.paste(finished)
    tag.paste(finished)
    soft = 40  # width of the wipe's soft edge, px
    for n in range(FRAMES):
        t = n / FPS
        if t >= TAG_IN[1]:
            frame = bytearray(finished)
        else:
            frame = bytearray(backdrop)
            p = smoothstep(WORD_IN[0], WORD_IN[1], t)
            if p >= 1:
                word.paste(frame)
            elif p > 0:
                edge = word.x0 - soft + p * (word.w + soft)
                word.paste(frame, int(edge))
                word.blend(frame, lambda x: 0.0 if x < int(edge) else min(1.0, max(0.0, 1 - (x - edge) / soft)))
            q = smoothstep(TAG_IN[0], TAG_IN[1], t)
            if q > 0:
                tag.blend(frame, lambda x: q)
        wave_.draw(frame, t)
        yield bytes(frame)


def write_chime(path):
    """A soft three-note bell chime on a quiet pad, mono 16-bit PCM as long as the video."""
    total = int(DURATION * RATE)
    out = [0.0] * total
    notes = [(783.99, 0.00, 0.16), (1046.50, 0.11, 0.14), (1318.51, 0.22, 0.12)]
    for freq, delay, gain in notes:
        start = int((CHIME_AT + delay) * RATE)
        for i in range(start, total):
            tt = (i - start) / RATE
            env = gain * min(1.0, tt / 0.006) * math.exp(-tt / 0.85)
            if env < 1e-4 and tt > 0.1:
                break
            ph = 2 * math.pi * freq * tt
            out[i] += env * (math.sin(ph) + 0.18 * math.sin(2.0 * ph) * math.exp(-tt / 0.25)
                             + 0.06 * math.sin(3.0 * ph) * math.exp(-tt / 0.12))
    # a low, slowly swelling pad under the rise of the wordmark
    for i in range(int(2.6 * RATE), total):
        tt = i / RATE
        env = 0.05 * smoothstep(2.6, 4.0, tt) * (1 - smoothstep(4.6, DURATION, tt))
        out[i] += env * (math.sin(2 * math.pi * 130.81 * tt) + 0.5 * math.sin(2 * math.pi * 196.0 * tt))
    data = bytearray()
    for v in out:
        data += struct.pack('<h', max(-32767, min(32767, int(v * 32767))))
    with wave.open(str(path), 'wb') as wf:
        wf.setnchannels(1)
        wf.setsampwidth(2)
        wf.setframerate(RATE)
        wf.writeframes(bytes(data))


def make_intro(path, ffmpeg):
    with tempfile.TemporaryDirectory() as tmp:
        chime = pathlib.Path(tmp) / 'chime.wav'
        write_chime(chime)
        partial = path.with_name(path.name + '.part')
        cmd = [ffmpeg, '-hide_banner', '-nostats', '-loglevel', 'error', '-y',
               '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-s', f'{W}x{H}', '-r', str(FPS), '-i', '-',
               '-i', str(chime), '-map', '0:v', '-map', '1:a',
               '-c:v', 'mpeg4', '-q:v', '3', '-bf', '0', '-g', str(2 * FPS),
               '-pix_fmt', 'yuv420p', '-tag:v', 'XVID', '-c:a', 'pcm_s16le',
               '-map_metadata', '-1', '-fflags', '+bitexact', '-flags:v', '+bitexact',
               '-flags:a', '+bitexact', '-f', 'avi', str(partial)]
        try:
            proc = subprocess.Popen(cmd, stdin=subprocess.PIPE)
        except OSError as e:
            sys.exit(f'make_assets: cannot run {ffmpeg}: {e}')
        try:
            for frame in frames():
                proc.stdin.write(frame)
        except BrokenPipeError:
            pass
        finally:
            proc.stdin.close()
        if proc.wait() != 0:
            partial.unlink(missing_ok=True)
            sys.exit(f'make_assets: ffmpeg failed to encode {path.name}')
        os.replace(partial, path)


# ---------------------------------------------------------------------------------------------
# The icon.

ICON_SIZES = (16, 32, 48, 256)
ICON_TOP = (38, 86, 170)
ICON_BOTTOM = (10, 28, 72)
ICON_SPEAKER = (242, 247, 255)
ICON_WAVE = (96, 214, 255)


def _sd_rounded_box(x, y, x0, y0, x1, y1, r):
    cx, cy = (x0 + x1) / 2, (y0 + y1) / 2
    qx = abs(x - cx) - ((x1 - x0) / 2 - r)
    qy = abs(y - cy) - ((y1 - y0) / 2 - r)
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - r


def _convex(points):
    """Edges of a convex polygon (clockwise on screen) as (px, py, nx, ny) with outward n."""
    edges = []
    for i, (ax, ay) in enumerate(points):
        bx, by = points[(i + 1) % len(points)]
        dx, dy = bx - ax, by - ay
        ln = math.hypot(dx, dy)
        edges.append((ax, ay, dy / ln, -dx / ln))
    return edges


def _sd_convex(x, y, edges):
    return max((x - ax) * nx + (y - ay) * ny for ax, ay, nx, ny in edges)


def _sd_arc(x, y, cx, cy, radius, half_angle, thickness):
    dx, dy = x - cx, y - cy
    ang = math.atan2(dy, dx)
    if abs(ang) <= half_angle:
        return abs(math.hypot(dx, dy) - radius) - thickness / 2
    ex, ey = radius * math.cos(half_angle), radius * math.sin(half_angle)
    return min(math.hypot(dx - ex, dy - ey), math.hypot(dx - ex, dy + ey)) - thickness / 2


def draw_icon(size):
    """RGBA pixels of the icon at size x size px."""
    s = float(size)
    m = round(size * 0.03)
    x0, y0, x1, y1 = m, m, size - m, size - m
    corner = 0.21 * (x1 - x0)
    # the symbol, in units of the icon's side
    if size <= 16:
        # the smallest size gets a simpler symbol on whole pixels: the speaker and one wave
        p = 1 / 16
        body = _convex([(3 * p, 6 * p), (5 * p, 6 * p), (5 * p, 10 * p), (3 * p, 10 * p)])
        cone = _convex([(4.8 * p, 6 * p), (8 * p, 3 * p), (8 * p, 13 * p), (4.8 * p, 10 * p)])
        wx, wy = 7.4 * p, 8 * p
        waves = [(4.4 * p, math.radians(50), 1.8 * p)]
    else:
        body = _convex([(0.20, 0.39), (0.33, 0.39), (0.33, 0.61), (0.20, 0.61)])
        cone = _convex([(0.31, 0.39), (0.50, 0.22), (0.50, 0.78), (0.31, 0.61)])
        wx, wy = 0.455, 0.5
        waves = [(0.165, math.radians(46), 0.068), (0.295, math.radians(46), 0.068)]
    rgba = bytearray(size * size * 4)
    for py in range(size):
        for px in range(size):
            x, y = px + 0.5, py + 0.5
            d = _sd_rounded_box(x, y, x0, y0, x1, y1, corner)
            alpha = min(1.0, max(0.0, 0.5 - d))
            o = (py * size + px) * 4
            if alpha <= 0:
                continue
            u, v = x / s, y / s
            col = mix(ICON_TOP, ICON_BOTTOM, (y - y0) / (y1 - y0))
            # a thin light rim along the top edge of the square
            if size >= 32:
                rim = max(0.0, 1 - abs(d + 1.2) / 0.9) * max(0.0, 1 - (y - y0) / (0.6 * (y1 - y0)))
                col = mix(col, (120, 170, 245), 0.55 * rim)
            sp = min(_sd_convex(u, v, body), _sd_convex(u, v, cone)) * s
            cov = min(1.0, max(0.0, 0.5 - sp))
            if cov > 0:
                col = mix(col, ICON_SPEAKER, cov)
            for radius, half_angle, thick in waves:
                dw = _sd_arc(u, v, wx, wy, radius, half_angle, thick) * s
                cov = min(1.0, max(0.0, 0.5 - dw))
                if cov > 0:
                    col = mix(col, ICON_WAVE, cov)
            rgba[o:o + 4] = bytes((col[0], col[1], col[2], int(alpha * 255 + 0.5)))
    return rgba


def png_bytes(width, height, rgba):
    """An 8-bit RGBA PNG of the given pixels."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body))
    stride = width * 4
    raw = bytearray()
    for y in range(height):
        raw.append(0)  # no filter
        raw += rgba[y * stride:(y + 1) * stride]
    return (b'\x89PNG\r\n\x1a\n'
            + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 6, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + chunk(b'IEND', b''))


def ico_bytes(images):
    """An ICO file of (size, png) entries; 256 is written as 0 in the directory."""
    head = struct.pack('<HHH', 0, 1, len(images))
    offset = len(head) + 16 * len(images)
    directory, data = bytearray(), bytearray()
    for size, png in images:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(png),
                                 offset + len(data))
        data += png
    return head + bytes(directory) + bytes(data)


def write_atomically(path, data):
    partial = path.with_name(path.name + '.part')
    partial.write_bytes(data)
    os.replace(partial, path)


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('--out', required=True, help='the application folder')
    ap.add_argument('--ffmpeg', default='ffmpeg', help='the ffmpeg program')
    a = ap.parse_args()
    out = pathlib.Path(a.out)
    out.mkdir(parents=True, exist_ok=True)
    began = time.monotonic()

    pngs = [(size, png_bytes(size, size, draw_icon(size))) for size in ICON_SIZES]
    write_atomically(out / 'sorvane.ico', ico_bytes(pngs))
    write_atomically(out / 'sorvane.png', dict(pngs)[256])
    make_intro(out / 'intro.avi', a.ffmpeg)

    took = time.monotonic() - began
    sizes = ', '.join(f'{n} {(out / n).stat().st_size} bytes'
                      for n in ('intro.avi', 'sorvane.ico', 'sorvane.png'))
    print(f'make_assets: {sizes} ({took:.1f} s)')


if __name__ == '__main__':
    main()
