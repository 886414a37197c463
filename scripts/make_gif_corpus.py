#!/usr/bin/env python3
"""Writes the seed corpus of the GIF reader's fuzz target: small GIF files
built byte by byte (headers with and without colour tables, extensions of
every kind, interlaced frames, local tables, several frames, truncations, a
logical screen far larger than its frames)."""
import os
import struct
import sys


def lzw_codes(pixels, code_size):
    """Plain codes with a clear code before the table would grow: valid data
    that every decoder reads, with the width fixed at code_size + 1."""
    clear = 1 << code_size
    width = code_size + 1
    codes = [clear]
    since = 0
    for p in pixels:
        if since == clear - 2:
            codes.append(clear)
            since = 0
        codes.append(p)
        since += 1
    codes.append(clear + 1)
    acc = bits = 0
    out = bytearray()
    for c in codes:
        acc |= c << bits
        bits += width
        while bits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            bits -= 8
    if bits:
        out.append(acc & 0xFF)
    return bytes(out)


def sub_blocks(data, size=255):
    out = bytearray()
    for i in range(0, len(data), size):
        chunk = data[i:i + size]
        out += bytes([len(chunk)]) + chunk
    return bytes(out + b"\0")


def table(n):
    return bytes((i * 37 + k * 91) & 0xFF for i in range(n) for k in range(3))


def frame(w, h, pixels, code_size=2, left=0, top=0, local=0, interlaced=False, block=255):
    flags = (0x40 if interlaced else 0)
    tbl = b""
    if local:
        bits = max(1, (local - 1).bit_length())
        flags |= 0x80 | (bits - 1)
        tbl = table(1 << bits)
    return (b"," + struct.pack("<HHHHB", left, top, w, h, flags) + tbl + bytes([code_size]) +
            sub_blocks(lzw_codes(pixels, code_size), block))


def header(w, h, colours=4, version=b"89a", background=0):
    if colours:
        bits = max(1, (colours - 1).bit_length())
        return b"GIF" + version + struct.pack("<HHBBB", w, h, 0x80 | 0x70 | (bits - 1), background, 0) + table(1 << bits)
    return b"GIF" + version + struct.pack("<HHBBB", w, h, 0, background, 0)


def gce(delay=10, transparent=None, disposal=0):
    flags = (disposal << 2) | (1 if transparent is not None else 0)
    return b"\x21\xF9\x04" + struct.pack("<BHB", flags, delay, transparent or 0) + b"\0"


def comment(text):
    return b"\x21\xFE" + sub_blocks(text)


def loop(count, buffer=None):
    data = b"\x03\x01" + struct.pack("<H", count)
    if buffer is not None:
        data += b"\x05\x02" + struct.pack("<I", buffer)
    return b"\x21\xFF\x0BNETSCAPE2.0" + data + b"\0"


def plain_text():
    return b"\x21\x01\x0C" + struct.pack("<HHHHBBBB", 0, 0, 8, 8, 8, 8, 1, 0) + sub_blocks(b"text")


def unknown_app():
    return b"\x21\xFF\x0BXMP DataXMP" + sub_blocks(b"<x/>") 


def main(folder):
    os.makedirs(folder, exist_ok=True)
    seeds = {}
    px = [(x * 3 + y) % 4 for y in range(8) for x in range(8)]
    seeds["simple.gif"] = header(8, 8) + frame(8, 8, px) + b";"
    seeds["interlaced.gif"] = header(8, 5) + frame(8, 5, px[:40], interlaced=True) + b";"
    seeds["local.gif"] = header(6, 6, 0) + frame(6, 6, [i % 16 for i in range(36)], 4, local=16) + b";"
    seeds["extensions.gif"] = (header(4, 4) + loop(0, 4096) + comment(b"seed " * 70) + gce(5, 2, 2) +
                               plain_text() + unknown_app() + frame(4, 4, px[:16]) + b";")
    anim = header(10, 10, 256, background=3) + loop(3)
    for i in range(3):
        anim += gce(10 * i, i, i % 4) + frame(5, 5, [(i + k) % 256 for k in range(25)], 8, left=i * 2, top=i)
    seeds["animation.gif"] = anim + b";"
    seeds["one-byte-blocks.gif"] = header(8, 8) + frame(8, 8, px, block=1) + b";"
    seeds["no-trailer.gif"] = header(8, 8) + frame(8, 8, px)
    seeds["truncated.gif"] = (header(8, 8) + frame(8, 8, px))[:-12]
    seeds["zero-size.gif"] = header(0, 0) + frame(0, 0, []) + b";"
    seeds["extensions-only.gif"] = header(2, 2, version=b"87a") + comment(b"last") + b";"
    # 23 KB claiming a screen of 65535 x 65535: composing must refuse it.
    huge = header(65535, 65535)
    for i in range(1000):
        huge += gce(10, 0, 3) + frame(1, 1, [i % 4])
    seeds["huge-screen.gif"] = huge + b";"
    for name, data in seeds.items():
        with open(os.path.join(folder, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "fuzz", "corpus", "gif"))
