#!/usr/bin/python3
# Makes the TIFF test pictures with independent tools (Pillow, libtiff's
# tiffcp, ImageMagick) and, beside each, the pixels Pillow decodes from it
# as a binary PPM (NAME.ppm). Run from anywhere: /usr/bin/python3 make_fixtures.py
#
# Two decisions of our reader differ from Pillow's and are applied here to
# Pillow's decode: colour-map values are scaled (v * 255 + 32767) // 65535,
# and 4-bit grey is v * 17 (inverted for white-is-zero).
import os
import random
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
CONVERT = "/usr/bin/convert"
os.chdir(HERE)
rng = random.Random(20261209)


def noise(mode, w, h, levels=256):
    im = Image.new(mode, (w, h))
    bands = len(mode) if mode in ("RGB", "RGBA") else 1
    data = []
    for _ in range(w * h):
        px = tuple(rng.randrange(levels) for _ in range(bands))
        data.append(px if bands > 1 else px[0])
    im.putdata(data)
    return im


def gradient(mode, w, h):
    im = Image.new(mode, (w, h))
    px = im.load()
    for y in range(h):
        for x in range(w):
            if mode == "RGB":
                px[x, y] = ((x * 15) % 256, (y * 19) % 256, ((x + y) * 7 + (x * y) % 5) % 256)
            elif mode == "RGBA":
                px[x, y] = ((x * 15) % 256, (y * 19) % 256, (x * y) % 256, (x * 3 + y * 11) % 256)
            elif mode == "L":
                px[x, y] = (x * 13 + y * 17 + (x * y) % 3) % 256
            elif mode == "P":
                px[x, y] = (x * 7 + y * 3) % 256
            elif mode == "1":
                px[x, y] = 255 if (x * 3 + y) % 5 < 2 else 0
    if mode == "P":
        pal = []
        for i in range(256):
            pal += [(i * 37) % 256, (i * 91 + 5) % 256, 255 - i]
        im.putpalette(pal)
    return im


def run(*args):
    subprocess.run(args, check=True)


def write_ppm(name, rgb):
    w, h = rgb.size
    with open(name, "wb") as f:
        f.write(b"P6\n%d %d\n255\n" % (w, h))
        f.write(rgb.tobytes())


def expect(name):
    """The pixels Pillow decodes, with the two scalings of our reader."""
    im = Image.open(name)
    im.load()
    tags = im.tag_v2
    if im.mode == "P":
        cmap = tags[320]
        idx = im.tobytes()
        pal = bytes(((v * 255 + 32767) // 65535) for v in cmap)
        n = len(cmap) // 3
        out = bytearray()
        for i in idx:
            out += bytes((pal[i], pal[n + i], pal[2 * n + i]))
        rgb = Image.frombytes("RGB", im.size, bytes(out))
    elif tags.get(258, (8,))[0] == 4:
        # Pillow spreads 4-bit grey over 0..255 itself; the levels are v * 17.
        rgb = im.convert("L").point(lambda v: (v + 8) // 17 * 17).convert("RGB")
    else:
        rgb = im.convert("RGB")
    write_ppm(os.path.splitext(name)[0] + ".ppm", rgb)


def variants(base, src, predictor=True):
    """tiffcp variants of one uncompressed source picture."""
    made = []
    for suffix, opts in (("none", ["-c", "none"]), ("lzw", ["-c", "lzw"]), ("lzw2", ["-c", "lzw:2"]),
                         ("r7", ["-c", "none", "-r", "7"]), ("lzw2_r7", ["-c", "lzw:2", "-r", "7"]),
                         ("be_lzw2", ["-B", "-c", "lzw:2", "-r", "5"]), ("be_none", ["-B", "-c", "none"])):
        if not predictor:  # differencing needs whole bytes
            opts = [o.replace("lzw:2", "lzw") for o in opts]
        out = "%s_%s.tif" % (base, suffix)
        run("tiffcp", *opts, src, out)
        made.append(out)
    return made


fixtures = []
for mode, base in (("RGB", "rgb24"), ("RGBA", "rgba32"), ("L", "grey8"), ("P", "pal8"), ("1", "grey1")):
    src = "src_%s.tif" % base
    gradient(mode, 17, 13).save(src)
    fixtures += variants(base, src, predictor=mode != "1")
    os.remove(src)

# 256 x 256 noise: LZW reaches 12-bit codes and clears its table.
for mode, base in (("RGB", "noise_rgb24"), ("L", "noise_grey8")):
    src = "src_%s.tif" % base
    noise(mode, 256, 256).save(src)
    for suffix, opts in (("lzw", ["-c", "lzw"]), ("lzw2", ["-c", "lzw:2", "-r", "64"])):
        out = "%s_%s.tif" % (base, suffix)
        run("tiffcp", *opts, src, out)
        fixtures.append(out)
    os.remove(src)

# ImageMagick: both photometrics of 1, 4 and 8 bits of grey.
gradient("L", 17, 13).save("src_grey.png")
for depth in (1, 4, 8):
    for phot in ("min-is-white", "min-is-black"):
        for comp in ("None", "LZW"):
            out = "im_grey%d_%s_%s.tif" % (depth, phot.replace("-", ""), comp.lower())
            extra = ["-threshold", "50%"] if depth == 1 else []
            run(CONVERT, "src_grey.png", *extra, "-depth", str(depth), "-define", "tiff:photometric=" + phot,
                "-compress", comp, "-type", "Grayscale" if depth > 1 else "Bilevel", out)
            fixtures.append(out)

# Layouts the reader refuses.
gradient("RGB", 17, 13).save("src_rgb.png")
run(CONVERT, "src_rgb.png", "-depth", "16", "-compress", "None", "bad_rgb48.tif")
run(CONVERT, "src_rgb.png", "-colorspace", "CMYK", "-compress", "None", "bad_cmyk.tif")
run(CONVERT, "src_rgb.png", "-interlace", "Plane", "-compress", "None", "bad_planar.tif")
run("tiffcp", "-c", "packbits", "rgb24_none.tif", "bad_packbits.tif")
run("tiffcp", "-c", "jpeg", "rgb24_none.tif", "bad_jpeg.tif")
run(CONVERT, "src_grey.png", "-depth", "16", "-compress", "None", "bad_grey16.tif")
os.remove("src_grey.png")
os.remove("src_rgb.png")

for f in fixtures:
    expect(f)
print("made %d pictures" % len(fixtures))
