#!/usr/bin/python3
"""Writes the seed inputs of the JPEG, ini, pattern-search and string-list
fuzz targets, and the large seeds of every text reader, into fuzz/corpus/<reader>/. Run it with the system Python (it
needs Pillow for the JPEG seeds): /usr/bin/python3 fuzz/make_seeds.py"""
import io
import os
import struct

from PIL import Image

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus")


def put(reader, name, data):
    folder = os.path.join(ROOT, reader)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


def gradient(mode, w, h):
    img = Image.new("RGB", (w, h))
    img.putdata([((x * 37) % 256, (y * 53) % 256, ((x + y) * 11) % 256) for y in range(h) for x in range(w)])
    return img.convert(mode)


def jpeg(img, **options):
    out = io.BytesIO()
    img.save(out, "JPEG", **options)
    return out.getvalue()


def jpeg_seeds():
    put("jpeg", "rgb_8x8.jpg", jpeg(gradient("RGB", 8, 8), quality=90))
    put("jpeg", "rgb_17x13_420.jpg", jpeg(gradient("RGB", 17, 13), quality=60, subsampling=2))
    put("jpeg", "progressive_16x9.jpg", jpeg(gradient("RGB", 16, 9), quality=75, progressive=True))
    put("jpeg", "grey_5x3.jpg", jpeg(gradient("L", 5, 3), quality=95))
    put("jpeg", "optimized_1x1.jpg", jpeg(gradient("RGB", 1, 1), quality=50, optimize=True))
    put("jpeg", "cmyk_4x4.jpg", jpeg(gradient("CMYK", 4, 4), quality=80))


def ini_seeds():
    put("ini", "sections.ini",
        b"; settings\r\n[Options]\r\nSound=1\r\nSpeed = 12 ; per second\r\nName=Player One\r\n"
        b"\r\n[Window]\r\nLeft=-20\r\nTop=40\r\nWidth=3.5\r\nDate=45123.25\r\n")
    put("ini", "lists.ini",
        b"[Recent]\r\nPlayer#0=Anna\r\nPlayer#1=Bert\r\nPlayer#2=\r\nPlayer#3=Dora\r\n"
        b"[Scores]\r\nTop#0=Anna\x1f1200\r\nTop#1=Bert\x1f-5\r\nTop#2=Cleo\x1f7\x1f8\r\n[Other]\r\nx=1\r\n")
    put("ini", "odd_lines.ini",
        b"top=before any header\n[Odd\n  [Indented]\n key=indented\n=no key\nbare line\r[Cr]\rk=v\r"
        b"[]\r\nempty=section\r\n[Dup]\r\na=1\r\n[Dup]\r\na=2\r\nnul=\x00x")
    put("ini", "numbers.ini",
        b"[N]\r\nbig=99999999999999999999\r\nneg=-2147483648\r\nhex=$FF\r\nfloat=1,5e3\r\n"
        b"cur=12.3456\r\nbool=0 ; off\r\nspace= \r\n")


def instrs_seed(name, options, pattern, text):
    put("instrs", name, bytes([options, len(pattern)]) + pattern + text)


def instrs_seeds():
    instrs_seed("plain", 1, b"abc", b"xxabcx")
    instrs_seed("stars_caseless", 0, b"a*c?", b"ABxxCdd")
    instrs_seed("blanks", 1, b"a\xa7b", b"a \t b a\x03b")
    instrs_seed("group", 1, b"{ab,c*,?d}x", b"zzcqqxabx")
    instrs_seed("set", 0, b"{xyz}{\xe9\xc9}", b"__Y\xc9")
    instrs_seed("unclosed", 3, b"{a,b", b"{a,b} a")
    instrs_seed("words", 5, b"cat", b"concat cat, cats")
    instrs_seed("tags_quotes", 0x3D, b"b", b"<b>\"b\" b")
    instrs_seed("backwards_from", 4, b"*a", b"banana")


def index(entries, text_length):
    """An index file for entries given as (end, flags)."""
    data = b"VsInd\x00" + struct.pack("<i", len(entries) - 1)
    for end, flags in entries:
        data += struct.pack("<iB", end, flags) + b"\x00" * 9
    assert len(data) == 10 + 14 * len(entries)
    assert not entries or entries[-1][0] == text_length
    return data


def hdstrings_seed(name, text, idx):
    put("hdstrings", name, struct.pack("<H", len(text)) + text + idx)


def hdstrings_seeds():
    text = b"alpha\r\nbeta\r\n\r\ngamma\r\n"
    hdstrings_seed("good", text, index([(7, 0), (13, 0), (15, 0), (22, 0)], len(text)))
    open_end = b"one\r\ntwo"
    hdstrings_seed("open_last", open_end, index([(5, 0), (8, 1)], len(open_end)))
    # Ends that are no separators, but within the text: the index is believed.
    hdstrings_seed("shifted", text, index([(3, 0), (20, 0), (22, 0)], len(text)))
    hdstrings_seed("empty", b"", index([], 0))
    hdstrings_seed("stale_count", text, index([(7, 0), (13, 0), (15, 0), (22, 0)], len(text))[:-14])
    hdstrings_seed("no_index", text, b"")


# Seeds near the largest input fuzz.sh gives the text readers (64 KiB), so
# the fuzzer starts from long lines, long lists and the paths where buffers grow.
TEXT_MAX_LEN = 65536


def big_ini():
    out = [b"; a large settings file\r\n"]
    for s in range(230):
        out.append(b"[Section%d]\r\n" % s)
        for k in range(12):
            out.append(b"Key%d=%d\r\n" % (k, s * 1000 + k))
        out.append(b"List#%d=entry %d\x1f%d\r\n" % (s, s, -s))
    out.append(b"[Long]\r\nLine=" + b"x;=[]" * 3000 + b"\r\n")
    return b"".join(out)


def big_textbase():
    out = [b"[Groups]\r\n"]
    out += [b"Group%d = Group %d {color=%06X}\r\n" % (g, g, g * 4097 % 0xFFFFFF) for g in range(40)]
    for section in (b"Brides", b"Grooms", b"brdMos", b"grmPas"):
        out.append(b"[" + section + b"]\r\n")
        out += [b"P%d = Person %d ! A hint %d {hair=red} : Family ! %s\r\n" % (i, i, i, b"story " * (i % 9))
                for i in range(300)]
    out.append(b"[Omens]\r\n")
    out += [b"Omen%d = Chance %d : Gods ! Omen text %d\r\n" % (i, i, i) for i in range(200)]
    out.append(b"[Defs]\r\nGroom = " + b"long " * 2000 + b"\r\n")
    return b"".join(out)


def big_seeds():
    put("ini", "big.ini", big_ini()[:TEXT_MAX_LEN])
    put("textbase", "big.ini", big_textbase()[:TEXT_MAX_LEN])
    lines = [b"line %d %s" % (i, b"abc" * (i % 40)) for i in range(700)]
    text = b"\r\n".join(lines) + b"\r\n"
    ends, at = [], 0
    for line in lines:
        at += len(line) + 2
        ends.append((at, 0))
    data = struct.pack("<H", len(text) & 0xFFFF) + text + index(ends, len(text))
    put("hdstrings", "big", data[:TEXT_MAX_LEN])
    pattern = b"{ab,c*,?d}x*\xa7y"
    instrs_seed("big", 1, pattern, (b"zzcqqxab y " * 6000)[:TEXT_MAX_LEN - 2 - len(pattern)])
    # Statistics: as many whole records as fit, each a variation of one.Rnd.
    with open(os.path.join(ROOT, "stats", "one.Rnd"), "rb") as f:
        record = bytearray(f.read())
    records = []
    for i in range(TEXT_MAX_LEN // len(record)):
        r = bytearray(record)
        r[0:4] = struct.pack("<i", i)
        records.append(bytes(r))
    put("stats", "many.Rnd", b"".join(records))


if __name__ == "__main__":
    big_seeds()
    jpeg_seeds()
    ini_seeds()
    instrs_seeds()
    hdstrings_seeds()
