#!/usr/bin/python3
# Times Pillow's Image.open(f).load() on the Targa files bench_targa writes
# (same folder: VELTRANO_BENCH_TARGA_DIR or the temporary folder's
# veltrano_bench_targa/), best of several runs, for the side-by-side figures.
import os
import sys
import tempfile
import time

from PIL import Image

folder = os.environ.get("VELTRANO_BENCH_TARGA_DIR", os.path.join(tempfile.gettempdir(), "veltrano_bench_targa"))
runs = int(sys.argv[1]) if len(sys.argv) > 1 else 10
for name in ("noise_plain", "noise_rle", "flat_plain", "flat_rle"):
    path = os.path.join(folder, name + ".tga")
    best = None
    for _ in range(runs):
        start = time.perf_counter()
        with Image.open(path) as im:
            im.load()
        took = time.perf_counter() - start
        best = took if best is None else min(best, took)
    print("%-12s %8.1f ms" % (name, best * 1000))
