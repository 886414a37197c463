#!/usr/bin/env python3
# Writes the PNG reader's seed corpus: one small picture of every colour type
# and bit depth, plain and interlaced, with the chunks the reader knows.
import os, struct, sys, zlib

ADAM7 = [(0, 0, 8, 8), (0, 4, 8, 8), (4, 0, 8, 4), (0, 2, 4, 4), (2, 0, 4, 2), (0, 1, 2, 2), (1, 0, 2, 1)]
CHANNELS = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}

def chunk(kind, data):
    body = kind + data
    return struct.pack('>I', len(data)) + body + struct.pack('>I', zlib.crc32(body) & 0xFFFFFFFF)

def sample(x, y, c, depth):
    return ((x * 7 + y * 13 + c * 5) * 37) % (1 << depth)

def pack_row(xs, y, ctype, depth):
    bits = []
    for x in xs:
        for c in range(CHANNELS[ctype]):
            bits.append(sample(x, y, c, depth))
    if depth >= 8:
        step = depth // 8
        return b''.join(v.to_bytes(step, 'big') for v in bits)
    out, acc, n = bytearray(), 0, 0
    for v in bits:
        acc = (acc << depth) | v
        n += depth
        if n == 8:
            out.append(acc); acc = n = 0
    if n:
        out.append(acc << (8 - n))
    return bytes(out)

def picture(w, h, ctype, depth, interlace, extra=b''):
    raw = bytearray()
    passes = ADAM7 if interlace else [(0, 0, 1, 1)]
    for i, (r0, c0, rs, cs) in enumerate(passes):
        xs = list(range(c0, w, cs))
        if not xs:
            continue
        for y in range(r0, h, rs):
            raw.append((y + i) % 5 if depth >= 8 else 0)
            row = bytearray(pack_row(xs, y, ctype, depth))
            # Filter type t as written; the reader only has to undo it, so
            # plain bytes behind any type are a valid, if odd, picture.
            raw += row
    out = b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', w, h, depth, ctype, 0, 0, interlace))
    out += extra
    if ctype == 3:
        out += chunk(b'PLTE', bytes((i * 40) % 256 for i in range(3 * (1 << depth))))
    z = zlib.compress(bytes(raw))
    half = len(z) // 2
    out += chunk(b'IDAT', z[:half]) + chunk(b'IDAT', z[half:])
    return out + chunk(b'IEND', b'')

def main(folder):
    os.makedirs(folder, exist_ok=True)
    for ctype, depths in ((0, (1, 2, 4, 8, 16)), (2, (8, 16)), (3, (1, 2, 4, 8)), (4, (8, 16)), (6, (8, 16))):
        for depth in depths:
            for interlace in (0, 1):
                extra = b''
                if ctype == 2:
                    extra = chunk(b'gAMA', struct.pack('>I', 45455)) + chunk(b'tRNS', b'\0\1\0\2\0\3')
                elif ctype == 0:
                    extra = chunk(b'tEXt', b'Title\0seed') + chunk(b'tRNS', b'\0\1')
                name = 'c%dd%02d%s.png' % (ctype, depth, 'i' if interlace else 'n')
                with open(os.path.join(folder, name), 'wb') as f:
                    f.write(picture(9, 7, ctype, depth, interlace, extra))

if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), 'corpus', 'png'))
