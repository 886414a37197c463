#!/usr/bin/env python3
"""Writes the seed snapshots of the undo snapshot reader (fuzz_undo).

A seed is one snapshot as the table stores it after a block's lead word:
the 42-byte geometry block, one entry per slot, and 16 bytes of owner data.
Run: python3 fuzz/undo_seeds.py (writes into fuzz/corpus/undo/)
"""
import os
import struct


def text(s):
    b = s.encode("cp1252")
    return struct.pack("<i", len(b)) + b


def slot(name, cards, kind=1, visible=1, rect=(0, 0, 100, 135), top=0, picture=54, tip="", caption=""):
    out = text(caption) + text(tip) + text("") * 4
    out += struct.pack("<i", len(cards) - 1) + b"".join(struct.pack("<h", c) for c in cards)
    n = name.encode("cp1252")[:15]
    rec = struct.pack("<Hh", 0, -1) + bytes(16)
    rec += bytes([len(n)]) + n.ljust(15, b"\0") + bytes(16)
    rec += struct.pack("<iiii", 0, 0, 0, 0)
    rec += struct.pack("<BBH", kind, visible, 0)
    rec += struct.pack("<iiii", *rect)
    rec += struct.pack("<Bhh", 0, top, len(cards))
    rec += struct.pack("<HHhh", 0, 0, 0, picture) + bytes(3) + bytes([0]) + bytes(2)
    assert len(rec) == 107
    return out + rec


def geometry(high, fps=15, scale=(1.0, 1.352)):
    return (struct.pack("<hhhhh", 0, 100, 100, 96, 71) + struct.pack("<ii", 900, 383)
            + struct.pack("<fff", scale[0], scale[1], 96 / 71)
            + struct.pack("<hhhhhh", 21, high - 1 if high > 0 else 0, high, 0, fps, high))


owner = bytes(range(16))
seeds = {
    "empty.snap": geometry(-1) + owner,
    "one_slot.snap": geometry(0) + slot("brdPa", [54]) + owner,
    "three_slots.snap": geometry(2, fps=25)
    + slot("Bride", [54, 7, 20, 33], top=3, picture=33, tip="Wife to be")
    + slot("Omen1", [54, 12, 53], kind=2, top=2, picture=53)
    + slot("Rem", [], kind=230, rect=(796, 354, 896, 489)) + owner,
    "truncated.snap": (geometry(1) + slot("Deck", [54] * 5, kind=200))[:-9],
}
for name, data in seeds.items():
    with open(os.path.join(os.path.dirname(os.path.abspath(__file__)), "corpus", "undo", name), "wb") as f:
        f.write(data)
