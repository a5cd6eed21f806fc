#!/usr/bin/python3
"""Batch benchmark: kestrelle-cli (under wine, either build) side by side with vipsthumbnail,
ImageMagick and Pillow, in one run, on the same files.

Tasks: (a) JPEG photos -> fit 640x640, JPEG q80; (b) PNG photos and one PNG with alpha -> fit
640x640, PNG. Each tool runs one batch per task (one process over all files where it allows it),
RUNS times; the table gives the median batch time with min and max, the ratio of each peer's
median to ours (above 1.0: we are faster), peak resident memory, and the mean PSNR of each tool's
outputs against an exact area-average downscale of the same picture.

Usage: batch_bench.py CORPUS_DIR WORK_DIR CLI_EXE [RUNS]
"""
import os
import resource
import shutil
import statistics
import subprocess
import sys
import time

import numpy as np
from PIL import Image

BOX = 640


def run_timed(command, env=None):
    """Runs one batch; returns (seconds, peak RSS in MB of the largest child so far)."""
    start = time.perf_counter()
    subprocess.run(command, check=True, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    seconds = time.perf_counter() - start
    peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss / 1024.0
    return seconds, peak


def peak_of(command, env=None):
    """Peak resident memory of one batch, measured by GNU time in a separate process."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M"] + command, env=env, capture_output=True, text=True)
    try:
        return int(result.stderr.strip().splitlines()[-1]) / 1024.0
    except (ValueError, IndexError):
        return float("nan")


def box_axis(a, size):
    """Exact area average along axis 0 to `size` samples. Pixels are constant over their area, so
    the running integral is piecewise linear and can be read at fractional edges."""
    n = a.shape[0]
    run = np.concatenate([np.zeros((1,) + a.shape[1:]), np.cumsum(a, axis=0)])
    edges = np.arange(size + 1) * (n / size)
    index = np.clip(np.floor(edges).astype(np.int64), 0, n - 1)
    frac = (edges - index).reshape((-1,) + (1,) * (a.ndim - 1))
    at = run[index] + frac * (run[index + 1] - run[index])
    return (at[1:] - at[:-1]) / (n / size)


def reference(source, size):
    """Exact area average of the source (premultiplied when it has alpha) at `size`."""
    img = Image.open(source)
    has_alpha = img.mode in ("RGBA", "LA") or "transparency" in img.info
    img = img.convert("RGBA" if has_alpha else "RGB")
    a = np.asarray(img, dtype=np.float64) / 255.0
    if has_alpha:
        a[..., :3] *= a[..., 3:4]
    out = box_axis(a, size[1])
    out = np.swapaxes(box_axis(np.swapaxes(out, 0, 1), size[0]), 0, 1)
    return out, has_alpha


def psnr(output, source, cache):
    img = Image.open(output)
    key = (source, img.size)
    if key not in cache:
        cache[key] = reference(source, img.size)
    ref, has_alpha = cache[key]
    got = np.asarray(img.convert("RGBA" if has_alpha else "RGB"), dtype=np.float64) / 255.0
    if has_alpha:
        got[..., :3] *= got[..., 3:4]
    mse = np.mean((got - ref) ** 2)
    return 99.0 if mse == 0 else 10 * np.log10(1.0 / mse)


def tools(task, files, out, cli, wine_env):
    jpeg = task == "a"
    ext = "jpg" if jpeg else "png"
    # Pillow twice: thumbnail() alone, which asks the JPEG reader for a reduced scale that keeps
    # at least twice the box (the rule this program follows), and with an explicit draft() to the
    # box itself first, which decodes smaller still at some cost in quality.
    scripts = {}
    for name, draft in (("pillow", ""), ("pillow-draft", f"    im.draft('RGB', ({BOX}, {BOX}))\n")):
        scripts[name] = os.path.join(out, name.replace("-", "_") + "_batch.py")
        with open(scripts[name], "w") as f:
            f.write(
                "import sys, os\nfrom PIL import Image\n"
                "out, jpeg = sys.argv[1], sys.argv[2] == 'jpg'\n"
                "for path in sys.argv[3:]:\n"
                "    im = Image.open(path)\n"
                f"{draft}"
                f"    im.thumbnail(({BOX}, {BOX}))\n"
                "    name = os.path.splitext(os.path.basename(path))[0] + ('.jpg' if jpeg else '.png')\n"
                "    if jpeg: im.convert('RGB').save(os.path.join(out, name), quality=80)\n"
                "    else: im.save(os.path.join(out, name))\n")
    cli_args = ["--out", "{out}", "--fit", f"{BOX}x{BOX}", "--overwrite"] + (["--jpeg=80"] if jpeg else [])
    return {
        "kestrelle-cli": (["wine", cli] + cli_args + files, wine_env),
        "vipsthumbnail": (["vipsthumbnail"] + files + ["--size", f"{BOX}x{BOX}", "-o",
                          "{out}/%s." + ("jpg[Q=80]" if jpeg else "png")], None),
        "imagemagick": (["/usr/bin/mogrify", "-path", "{out}", "-thumbnail", f"{BOX}x{BOX}"] +
                        (["-quality", "80", "-format", "jpg"] if jpeg else ["-format", "png"]) + files, None),
        "pillow": (["/usr/bin/python3", scripts["pillow"], "{out}", ext] + files, None),
        "pillow-draft": (["/usr/bin/python3", scripts["pillow-draft"], "{out}", ext] + files, None),
    }


def output_for(tool, out, source, jpeg):
    base = os.path.splitext(os.path.basename(source))[0]
    return os.path.join(out, base + (".jpg" if jpeg else ".png"))


def main():
    corpus, work, cli = (os.path.abspath(p) for p in sys.argv[1:4])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    os.makedirs(work, exist_ok=True)
    wine_env = dict(os.environ, WINEDEBUG="-all")
    tasks = {
        "a": sorted(os.path.join(corpus, "jpeg", f) for f in os.listdir(os.path.join(corpus, "jpeg"))),
        "b": sorted(os.path.join(corpus, "png", f) for f in os.listdir(os.path.join(corpus, "png"))),
    }
    for task, files in tasks.items():
        megapixels = sum(Image.open(f).size[0] * Image.open(f).size[1] for f in files) / 1e6
        print(f"\ntask ({task}): {len(files)} files, {megapixels:.1f} MP, fit {BOX}x{BOX} "
              f"{'JPEG q80' if task == 'a' else 'PNG'}, {runs} runs")
        print(f"{'tool':<15}{'median s':>10}{'min':>8}{'max':>8}{'MP/s':>8}{'ratio':>8}{'peak MB':>9}{'PSNR dB':>9}")
        results = {}
        cache = {}
        commands = {}
        for name, (command, env) in tools(task, files, work, cli, wine_env).items():
            out = os.path.join(work, f"{task}-{name}")
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            commands[name] = ([c.replace("{out}", out) for c in command], env, out)
            subprocess.run(commands[name][0], check=True, env=env, stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
        # The tools take turns within each run, so a burst of load elsewhere on the machine
        # falls on all of them alike instead of on one tool's runs.
        times = {name: [] for name in commands}
        for _ in range(runs):
            for name, (command, env, out) in commands.items():
                times[name].append(run_timed(command, env)[0])
        for name, (command, env, out) in commands.items():
            peak = peak_of(command, env)
            scores = [psnr(output_for(name, out, f, task == "a"), f, cache) for f in files]
            t = times[name]
            results[name] = (statistics.median(t), min(t), max(t), peak, statistics.mean(scores))
        ours = results["kestrelle-cli"][0]
        for name, (median, low, high, peak, score) in results.items():
            print(f"{name:<15}{median:>10.2f}{low:>8.2f}{high:>8.2f}{megapixels / median:>8.1f}"
                  f"{median / ours:>8.2f}{peak:>9.0f}{score:>9.2f}")


if __name__ == "__main__":
    main()
