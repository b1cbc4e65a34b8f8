#!/usr/bin/env python3
"""Checks the generated intro video and icons in the application folder.

    check_assets.py <application folder> --ffmpeg <ffmpeg> --ffprobe <ffprobe>

intro.avi: one 480x270 yuv420p MPEG-4 (or Motion JPEG) video stream at 25 frames/s lasting
6 to 8 s, any audio as PCM of the same length, the whole file decodable without errors and
under 2 MB; the picture is a dark blue backdrop whose white title is absent at the start and
present once the intro has settled, above light blue level bars.
sorvane.ico: an icon directory of four 32-bit PNG entries of 16, 32, 48 and 256 px, each a
valid PNG of that size with transparent corners and an opaque blue face carrying a light symbol.
sorvane.png: the same 256 px picture as the icon's largest entry.
"""
import argparse
import json
import pathlib
import struct
import subprocess
import sys
import zlib

W, H = 480, 270
MAX_BYTES = 2 * 1024 * 1024
PNG_SIGNATURE = b'\x89PNG\r\n\x1a\n'


class Checker:
    def __init__(self):
        self.failures = []

    def expect(self, ok, what):
        print(('ok      ' if ok else 'FAILED  ') + what)
        if not ok:
            self.failures.append(what)
        return ok


# ---------------------------------------------------------------------------------------------
# intro.avi


def probe(ffprobe, path):
    out = subprocess.run([ffprobe, '-v', 'error', '-show_streams', '-show_format', '-of', 'json',
                          str(path)], capture_output=True, text=True, check=True).stdout
    return json.loads(out)


def grab_frame(ffmpeg, path, seconds):
    """The frame shown at `seconds` as RGB24 bytes."""
    return subprocess.run([ffmpeg, '-v', 'error', '-ss', str(seconds), '-i', str(path),
                           '-frames:v', '1', '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                          capture_output=True, check=True).stdout


def count_pixels(frame, rows, cols, test):
    n = 0
    for y in range(*rows):
        for x in range(*cols):
            o = (y * W + x) * 3
            if test(frame[o], frame[o + 1], frame[o + 2]):
                n += 1
    return n


def white(r, g, b):
    return r > 200 and g > 200 and b > 200


def bar_blue(r, g, b):
    return b > 150 and g > 90 and r < 150 and b > r + 60


def check_intro(c, path, ffmpeg, ffprobe):
    if not c.expect(path.is_file(), f'{path.name} exists'):
        return
    size = path.stat().st_size
    c.expect(0 < size < MAX_BYTES, f'{path.name} is {size} bytes (under {MAX_BYTES})')
    info = probe(ffprobe, path)
    video = [s for s in info['streams'] if s.get('codec_type') == 'video']
    audio = [s for s in info['streams'] if s.get('codec_type') == 'audio']
    if not c.expect(len(video) == 1, f'one video stream (found {len(video)})'):
        return
    v = video[0]
    c.expect(info['format'].get('format_name') == 'avi', f"AVI container ({info['format'].get('format_name')})")
    c.expect(v.get('codec_name') in ('mpeg4', 'mjpeg'), f"MPEG-4 or MJPEG video ({v.get('codec_name')})")
    c.expect((v.get('width'), v.get('height')) == (W, H), f"{W}x{H} ({v.get('width')}x{v.get('height')})")
    c.expect(v.get('pix_fmt') in ('yuv420p', 'yuvj420p'), f"4:2:0 pixels ({v.get('pix_fmt')})")
    c.expect(v.get('r_frame_rate') == '25/1', f"25 frames/s ({v.get('r_frame_rate')})")
    duration = float(v.get('duration') or info['format'].get('duration') or 0)
    c.expect(6.0 <= duration <= 8.0, f'lasts 6 to 8 s ({duration} s)')
    frames = int(v.get('nb_frames') or 0)
    c.expect(abs(frames - duration * 25) <= 1, f'{frames} frames for {duration} s')
    for a in audio:
        c.expect(a.get('codec_name', '').startswith('pcm_'), f"PCM audio ({a.get('codec_name')})")
        ad = float(a.get('duration') or 0)
        if not ad and a.get('nb_frames') and a.get('sample_rate'):
            ad = int(a['nb_frames']) / int(a['sample_rate'])
        c.expect(abs(ad - duration) < 0.2, f'audio as long as the video ({ad} s)')

    run = subprocess.run([ffmpeg, '-v', 'error', '-i', str(path), '-f', 'null', '-'],
                         capture_output=True, text=True)
    c.expect(run.returncode == 0 and not run.stderr.strip(),
             'decodes to the end without errors' + (f': {run.stderr.strip()[:200]}' if run.stderr.strip() else ''))

    start, settled = grab_frame(ffmpeg, path, 0.2), grab_frame(ffmpeg, path, 5.0)
    if not c.expect(len(start) == len(settled) == W * H * 3, 'single frames decode to RGB'):
        return
    mean = [sum(settled[k::3]) / (W * H) for k in range(3)]
    c.expect(mean[2] > mean[0] + 15 and mean[2] > mean[1] and sum(mean) / 3 < 90,
             f'dark blue backdrop (mean RGB {mean[0]:.0f},{mean[1]:.0f},{mean[2]:.0f})')
    title_rows, title_cols = (50, 120), (40, W - 40)
    title_start = count_pixels(start, title_rows, title_cols, white)
    title_end = count_pixels(settled, title_rows, title_cols, white)
    c.expect(title_start == 0, f'no title at 0.2 s ({title_start} white pixels)')
    c.expect(title_end > 1500, f'white title at 5 s ({title_end} white pixels)')
    bars = count_pixels(settled, (150, 200), (40, W - 40), bar_blue)
    c.expect(bars > 300, f'level bars at 5 s ({bars} light blue pixels)')


# ---------------------------------------------------------------------------------------------
# PNG and ICO


def paeth(a, b, c):
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def decode_png(c, data, what):
    """(width, height, RGBA bytes) of an 8-bit RGBA PNG, or None after reporting the fault."""
    if not c.expect(data[:8] == PNG_SIGNATURE, f'{what}: PNG signature'):
        return None
    pos, chunks = 8, []
    while pos + 12 <= len(data):
        length, kind = struct.unpack('>I4s', data[pos:pos + 8])
        body = data[pos + 4:pos + 8 + length]
        crc, = struct.unpack('>I', data[pos + 8 + length:pos + 12 + length])
        if not c.expect(zlib.crc32(body) == crc, f'{what}: {kind.decode("latin-1")} checksum'):
            return None
        chunks.append((kind, body[4:]))
        pos += 12 + length
        if kind == b'IEND':
            break
    kinds = [k for k, _ in chunks]
    if not c.expect(kinds[:1] == [b'IHDR'] and kinds[-1:] == [b'IEND'] and b'IDAT' in kinds
                    and pos == len(data), f'{what}: IHDR, IDAT, IEND and nothing after'):
        return None
    w, h, depth, colour, comp, filt, interlace = struct.unpack('>IIBBBBB', chunks[0][1])
    if not c.expect((depth, colour, comp, filt, interlace) == (8, 6, 0, 0, 0),
                    f'{what}: 8-bit RGBA, not interlaced'):
        return None
    raw = zlib.decompress(b''.join(b for k, b in chunks if k == b'IDAT'))
    stride = w * 4
    if not c.expect(len(raw) == h * (stride + 1), f'{what}: {len(raw)} bytes of rows for {w}x{h}'):
        return None
    out = bytearray(h * stride)
    prev = bytearray(stride)
    for y in range(h):
        f = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        if f > 4:
            c.expect(False, f'{what}: row {y} has the unknown filter {f}')
            return None
        for i in range(stride):
            a = line[i - 4] if i >= 4 else 0
            b = prev[i]
            cc = prev[i - 4] if i >= 4 else 0
            pred = (0, a, b, (a + b) // 2, paeth(a, b, cc))[f]
            line[i] = (line[i] + pred) & 0xFF
        out[y * stride:(y + 1) * stride] = line
        prev = line
    return w, h, bytes(out)


def check_icon_picture(c, w, h, rgba, what):
    def px(x, y):
        o = (y * w + x) * 4
        return rgba[o:o + 4]
    corners = [px(0, 0)[3], px(w - 1, 0)[3], px(0, h - 1)[3], px(w - 1, h - 1)[3]]
    c.expect(corners == [0, 0, 0, 0], f'{what}: transparent corners {corners}')
    c.expect(px(w // 2, h // 2)[3] == 255 and px(w // 2, h // 8)[3] == 255, f'{what}: opaque face')
    opaque = [rgba[o:o + 3] for o in range(0, len(rgba), 4) if rgba[o + 3] == 255]
    blue = sum(1 for r, g, b in opaque if b > r + 40 and b > g)
    light = sum(1 for r, g, b in opaque if r > 200 and g > 200 and b > 200)
    c.expect(blue > len(opaque) // 2, f'{what}: blue face ({blue} of {len(opaque)} opaque pixels)')
    c.expect(light >= w * h // 40, f'{what}: light symbol ({light} pixels)')


def check_ico(c, path):
    if not c.expect(path.is_file(), f'{path.name} exists'):
        return None
    data = path.read_bytes()
    if not c.expect(len(data) >= 6, f'{path.name}: header'):
        return None
    reserved, kind, count = struct.unpack('<HHH', data[:6])
    c.expect((reserved, kind) == (0, 1), f'{path.name}: icon type ({reserved}, {kind})')
    if not c.expect(count == 4 and len(data) >= 6 + 16 * count, f'{path.name}: 4 entries ({count})'):
        return None
    sizes, pictures, spans = [], {}, []
    for i in range(count):
        bw, bh, colours, res, planes, bits, length, offset = struct.unpack(
            '<BBBBHHII', data[6 + 16 * i:22 + 16 * i])
        w, h = bw or 256, bh or 256
        what = f'{path.name} entry {i} ({w}x{h})'
        sizes.append(w)
        c.expect(w == h and (colours, res, planes, bits) == (0, 0, 1, 32),
                 f'{what}: square, 32 bits, 1 plane')
        if not c.expect(6 + 16 * count <= offset and offset + length <= len(data),
                        f'{what}: data inside the file'):
            continue
        spans.append((offset, offset + length))
        png = decode_png(c, data[offset:offset + length], what)
        if png and c.expect(png[:2] == (w, h), f'{what}: PNG is {png[0]}x{png[1]}'):
            check_icon_picture(c, *png, what)
            pictures[w] = png
    spans.sort()
    c.expect(all(a[1] <= b[0] for a, b in zip(spans, spans[1:])), f'{path.name}: entries do not overlap')
    c.expect(sorted(sizes) == [16, 32, 48, 256], f'{path.name}: sizes {sorted(sizes)}')
    return pictures


def check_png(c, path, icon_pictures):
    if not c.expect(path.is_file(), f'{path.name} exists'):
        return
    png = decode_png(c, path.read_bytes(), path.name)
    if png and c.expect(png[:2] == (256, 256), f'{path.name}: 256x256 ({png[0]}x{png[1]})'):
        c.expect(icon_pictures is not None and icon_pictures.get(256) == png,
                 f"{path.name}: same picture as the icon's 256 px entry")


def main():
    ap = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    ap.add_argument('app_dir')
    ap.add_argument('--ffmpeg', default='ffmpeg')
    ap.add_argument('--ffprobe', default='ffprobe')
    a = ap.parse_args()
    folder = pathlib.Path(a.app_dir)
    c = Checker()
    check_intro(c, folder / 'intro.avi', a.ffmpeg, a.ffprobe)
    pictures = check_ico(c, folder / 'sorvane.ico')
    check_png(c, folder / 'sorvane.png', pictures)
    if c.failures:
        print(f'{len(c.failures)} check(s) failed')
        return 1
    print('all checks passed')
    return 0


if __name__ == '__main__':
    sys.exit(main())
