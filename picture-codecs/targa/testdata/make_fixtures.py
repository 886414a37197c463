#!/usr/bin/python3
# Makes the Targa test pictures with independent tools (Pillow, ImageMagick,
# and a few written byte by byte here for the kinds neither tool writes: 16-bit
# pixels, 16- and 32-bit colour maps with a non-zero first entry, descriptor
# 16) and, beside each, the pixels Pillow decodes from it: NAME.ppm (RGB) and,
# for pictures with alpha, NAME.alpha.pgm. Run: /usr/bin/python3 make_fixtures.py
import os
import random
import struct
import subprocess

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"
os.chdir(HERE)
rng = random.Random(1209)
W, H = 17, 13


def picture(mode):
    im = Image.new(mode, (W, H))
    px = im.load()
    for y in range(H):
        for x in range(W):
            # Runs of equal pixels and single ones, so RLE files get both packets.
            v = (x // 3 * 40 + y * 17) % 256 if x < 9 else rng.randrange(256)
            if mode == "RGB":
                px[x, y] = (v, (v * 3 + y) % 256, (255 - v + x // 4) % 256)
            elif mode == "RGBA":
                px[x, y] = (v, (v * 3 + y) % 256, (255 - v) % 256, (x * 15 + y * 7) % 256)
            elif mode in ("L", "P"):
                px[x, y] = v
    if mode == "P":
        im.putpalette([c for i in range(256) for c in ((i * 37) % 256, (i * 91 + 5) % 256, 255 - i)])
    return im


def write_expected(name, decoded_as=None):
    im = Image.open(decoded_as or name)
    im.load()
    base = os.path.splitext(name)[0]
    rgb = im.convert("RGB")
    with open(base + ".ppm", "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % rgb.size + rgb.tobytes())
    if im.mode in ("RGBA", "LA"):
        a = im.getchannel("A")
        with open(base + ".alpha.pgm", "wb") as f:
            f.write(b"P5\n%d %d\n255\n" % a.size + a.tobytes())


def header(id_len, cmap_type, itype, cm_start, cm_len, cm_size, w, h, depth, desc):
    return struct.pack("<BBBHHBHHHHBB", id_len, cmap_type, itype, cm_start, cm_len, cm_size, 0, 0, w, h, depth, desc)


fixtures = []
for mode, base in (("RGB", "rgb24"), ("RGBA", "rgba32"), ("L", "grey8"), ("P", "pal8")):
    im = picture(mode)
    for comp in (None, "tga_rle"):
        name = "pil_%s%s.tga" % (base, "_rle" if comp else "")
        kw = {"compression": comp} if comp else {}
        im.save(name, **kw)
        fixtures.append(name)
    # Top-down rows (descriptor bit 5).
    name = "pil_%s_topdown.tga" % base
    im.save(name, orientation=1)
    fixtures.append(name)

# ImageMagick, plain and run-length.
picture("RGB").save("src.png")
run = lambda *a: subprocess.run(a, check=True)
run(CONVERT, "src.png", "-compress", "None", "im_rgb24.tga")
run(CONVERT, "src.png", "-compress", "RLE", "im_rgb24_rle.tga")
fixtures += ["im_rgb24.tga", "im_rgb24_rle.tga"]
os.remove("src.png")

# Byte by byte: 16-bit 5-5-5 pixels, plain and run-length, bottom-up and
# top-down and with descriptor 16 (right-to-left, which readers ignore).
vals = [rng.randrange(0x10000) for _ in range(W * H)]
for v in range(W):  # a run for the RLE packets
    vals[v] = 0x7FFF
body = b"".join(struct.pack("<H", v) for v in vals)
for name, itype, desc, data in (("hand_rgb16.tga", 2, 0, body), ("hand_rgb16_topdown.tga", 2, 32, body),
                                ("hand_rgb15_desc16.tga", 2, 16, body)):
    depth = 15 if "15" in name else 16
    open(name, "wb").write(header(0, 0, itype, 0, 0, 0, W, H, depth, desc) + data)
    fixtures.append(name)


def rle16(values):
    out = b""
    i = 0
    while i < len(values):
        j = i
        while j < len(values) and values[j] == values[i] and j - i < 128:
            j += 1
        if j - i >= 2:
            out += bytes([0x80 | (j - i - 1)]) + struct.pack("<H", values[i])
            i = j
        else:
            out += bytes([0]) + struct.pack("<H", values[i])
            i += 1
    return out


open("hand_rgb16_rle.tga", "wb").write(header(0, 0, 10, 0, 0, 0, W, H, 16, 0) + rle16(vals))
fixtures.append("hand_rgb16_rle.tga")

# Colour maps of 16, 24 and 32-bit entries that start at entry 10, with an ID
# field in front; indices run from 10 to 10 + 200 - 1.
idx = bytes(10 + rng.randrange(200) for _ in range(W * H))
for size in (16, 24, 32):
    entries = b""
    for i in range(200):
        r, g, b = (i * 37) % 256, (i * 91 + 5) % 256, 255 - i
        if size == 16:
            entries += struct.pack("<H", (r >> 3) << 10 | (g >> 3) << 5 | (b >> 3))
        elif size == 24:
            entries += bytes((b, g, r))
        else:
            entries += bytes((b, g, r, 255))
    name = "hand_cmap%d_start10.tga" % size
    ident = b"made for the tests"
    open(name, "wb").write(header(len(ident), 1, 1, 10, 200, size, W, H, 8, 0) + ident + entries + idx)
    if size == 24:
        fixtures.append(name)
    else:
        # Pillow reads no 16- or 32-bit map entries: the colours as stored
        # (5-bit channels as multiples of 8), bottom row first.
        rows = []
        for y in range(H):
            row = b""
            for x in range(W):
                i = idx[y * W + x] - 10
                r, g, b = (i * 37) % 256, (i * 91 + 5) % 256, 255 - i
                if size == 16:
                    r, g, b = r >> 3 << 3, g >> 3 << 3, b >> 3 << 3
                row += bytes((r, g, b))
            rows.append(row)
        with open(os.path.splitext(name)[0] + ".ppm", "wb") as f:
            f.write(b"P6\n%d %d\n255\n" % (W, H) + b"".join(reversed(rows)))

for f in fixtures:
    # Pillow reads no 15-bit pixels; the picture's bytes are those of its
    # 16-bit twin, and the right-to-left bit changes nothing.
    write_expected(f, "hand_rgb16.tga" if f == "hand_rgb15_desc16.tga" else None)
print("made %d pictures" % len(fixtures))
