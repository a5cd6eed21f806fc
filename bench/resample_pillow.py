#!/usr/bin/python3
"""Times Pillow's Image.resize(..., BICUBIC) on raw RGBA pictures written by resample_bench.

Usage: resample_pillow.py DIR RUNS WxH:TWxTH...
Prints one line per case, as resample_bench does: source megapixels per second, the median of
RUNS timed runs after one warm-up run, then the slowest and the fastest run.
"""
import statistics
import sys
import time

from PIL import Image

BICUBIC = getattr(Image, "Resampling", Image).BICUBIC


def main():
    folder, runs = sys.argv[1], int(sys.argv[2])
    print(f"# Pillow {Image.__version__}, {runs} runs per case after a warm-up")
    for case in sys.argv[3:]:
        source, target = case.split(":")
        width, height = map(int, source.split("x"))
        target_size = tuple(map(int, target.split("x")))
        with open(f"{folder}/{width}x{height}.rgba", "rb") as f:
            picture = Image.frombytes("RGBA", (width, height), f.read())
        picture.resize(target_size, BICUBIC)
        seconds = []
        for _ in range(runs):
            begin = time.perf_counter()
            picture.resize(target_size, BICUBIC)
            seconds.append(time.perf_counter() - begin)
        megapixels = width * height / 1e6
        median = statistics.median(seconds)
        print(f"{megapixels:.0f}MP {source} {target} {megapixels / median:.1f} "
              f"{megapixels / max(seconds):.1f} {megapixels / min(seconds):.1f} {median * 1e3:.2f}")


if __name__ == "__main__":
    main()
