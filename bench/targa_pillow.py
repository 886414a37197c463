#!/usr/bin/python3
# Pillow's side of bench_targa, started by it: one command per line on
# standard input, one answer line each (the thread's CPU seconds the work
# took, or an error text). Files are read into memory once; the timed work
# runs from and to memory, as ours does.
#   ready                 -> ready
#   decode PATH           -> Image.open(BytesIO(bytes of PATH)).load()
#   encode PATH RLE       -> the picture of PATH saved as Targa into a
#                            BytesIO, run-length when RLE is 1
import io
import sys
import time

from PIL import Image

files = {}
pictures = {}


def data(path):
    if path not in files:
        with open(path, "rb") as f:
            files[path] = f.read()
    return files[path]


def picture(path):
    if path not in pictures:
        im = Image.open(io.BytesIO(data(path)))
        im.load()
        pictures[path] = im
    return pictures[path]


def run(words):
    if words[0] == "decode":
        raw = data(words[1])
        start = time.thread_time()
        with Image.open(io.BytesIO(raw)) as im:
            im.load()
        return time.thread_time() - start
    if words[0] == "encode":
        im = picture(words[1])
        options = {"compression": "tga_rle"} if words[2] == "1" else {}
        start = time.thread_time()
        out = io.BytesIO()
        im.save(out, format="TGA", **options)
        out.close()
        return time.thread_time() - start
    raise ValueError("unknown command " + words[0])


for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    if words[0] == "ready":
        print("ready", flush=True)
        continue
    try:
        print(repr(run(words)), flush=True)
    except Exception as e:  # the benchmark shows the text as its error
        print("error: %s" % e, flush=True)
