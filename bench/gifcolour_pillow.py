#!/usr/bin/python3
# Pillow's diffusing colour reduction, timed for bench_gifcolour on the
# picture it writes: a 256-colour FASTOCTREE palette, then
# quantize(palette=..., dither=FLOYDSTEINBERG) (Pillow's other ways map each
# pixel without diffusion). Writes each run's seconds, one a line, and the
# reduced picture as raw RGB bytes, rows from the top, for the error that
# the benchmark measures on its side. Each line holds the run's processor
# time and its wall time, in seconds.
# Usage: gifcolour_pillow.py picture runs times.txt reduced.rgb
import sys
import time

from PIL import Image

picture, runs, times_file, reduced_file = sys.argv[1], int(sys.argv[2]), sys.argv[3], sys.argv[4]
with Image.open(picture) as im:
    src = im.convert("RGB")
times = []
reduced = None
for _ in range(runs):
    start, wall = time.process_time(), time.perf_counter()
    palette = src.quantize(256, method=Image.Quantize.FASTOCTREE)
    reduced = src.quantize(palette=palette, dither=Image.Dither.FLOYDSTEINBERG)
    times.append((time.process_time() - start, time.perf_counter() - wall))
with open(times_file, "w") as f:
    f.write("".join("%r %r\n" % t for t in times))
with open(reduced_file, "wb") as f:
    f.write(reduced.convert("RGB").tobytes())
