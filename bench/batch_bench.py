#!/usr/bin/python3
"""Batch benchmark: kestrelle-cli (under wine, either build) side by side with vipsthumbnail,
ImageMagick and Pillow, in one run, on the same files.

Tasks: (a) JPEG photos -> fit 640x640, JPEG q80; (b) PNG photos and one PNG with alpha -> fit
640x640, PNG; (c) the JPEG photos through three profiles at once (fit 240x240 PNG, 640x640 JPEG
q80, 1280x1280 JPEG q90): ours in one job with the three profiles stored in the registry of the
Wine prefix, each peer in three batches, one per profile; (d) HEIC photos -> fit 640x640, JPEG
q80, against vipsthumbnail alone (the one peer here that reads HEIC, through Debian's libheif),
each scored against its HEIC decoded by heif-convert (the PNG beside it in the corpus). Each tool runs one batch per task (one
process over all files where it allows it), RUNS times; the table gives the median batch time
with min and max, the ratio of each tool's median to ours with the default number of threads
(above 1.0: we are faster), peak resident memory, and the mean PSNR of each tool's outputs (the
640 ones for (c)) against an exact area-average downscale of the same picture. Ours runs twice:
with --threads 1 (the worker alone) and with the default, one loading thread per processor. In
(c) ours also runs (a)'s one-profile job within the same rounds ("one profile"), so that the
three-profile job's time against the one-profile job's is a ratio within one run even on a
machine whose speed drifts from task to task.

Usage: batch_bench.py CORPUS_DIR WORK_DIR CLI_EXE [RUNS]
(KESTRELLE_BENCH_TASKS=d, for instance, runs only the tasks it names.)
"""
import os
import shutil
import statistics
import subprocess
import sys
import time

import numpy as np
from PIL import Image

BOX = 640
# Task (c): (box, format, JPEG quality) of each profile; the 640 one is scored.
PROFILES = ((240, "png", 0), (640, "jpg", 80), (1280, "jpg", 90))


def run_timed(commands, env=None):
    """Runs one batch (one or more commands in turn; a command that is a list of commands runs
    them side by side); returns its seconds."""
    start = time.perf_counter()
    for command in commands:
        parts = command if isinstance(command[0], list) else [command]
        processes = [subprocess.Popen(part, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                     for part in parts]
        for process, part in zip(processes, parts):
            if process.wait() != 0:
                raise subprocess.CalledProcessError(process.returncode, part)
    return time.perf_counter() - start


def proc_cpu_seconds(pid):
    """User plus system seconds of a process, all its threads, from /proc (None once it is gone)."""
    try:
        with open(f"/proc/{pid}/stat") as f:
            fields = f.read().rsplit(")", 1)[1].split()
        return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")
    except (OSError, IndexError, ValueError):
        return None


def wineserver_pids(env):
    """The Wine server of the prefix `env` names (its folder under /tmp is named after the
    prefix's device and inode), not those of other prefixes that may run on the machine."""
    prefix = (env or os.environ).get("WINEPREFIX", os.path.expanduser("~/.wine"))
    try:
        info = os.stat(prefix)
    except OSError:
        return []
    folder = f"server-{info.st_dev:x}-{info.st_ino:x}"
    pids = []
    for pid in os.listdir("/proc"):
        if pid.isdigit():
            try:
                with open(f"/proc/{pid}/comm") as f:
                    if f.read().strip().startswith("wineserver") and os.readlink(f"/proc/{pid}/cwd").endswith(folder):
                        pids.append(pid)
            except OSError:
                pass
    return pids


def watch_process(command, env=None):
    """Runs one command and returns (peak resident MB, its processor seconds, the Wine server's
    processor seconds meanwhile, wall seconds). For a Windows program under Wine the program runs
    in a process of its own, not the `wine` launcher that GNU time would see: its peak (VmHWM,
    which only grows) and its processor time are read from /proc while it runs (the last sample,
    taken every 20 ms), and the server's is its /proc count before and after."""
    if command[0] != "wine":
        start = time.perf_counter()
        result = subprocess.run(["/usr/bin/time", "-f", "%M %U %S"] + command, env=env, capture_output=True, text=True)
        wall = time.perf_counter() - start
        try:
            peak, user, system = result.stderr.strip().splitlines()[-1].split()
            return int(peak) / 1024.0, float(user) + float(system), 0.0, wall
        except (ValueError, IndexError):
            return float("nan"), float("nan"), 0.0, wall
    # The program's own process is named by its path: the 64-bit one by its Windows path (Z: maps
    # the Linux root; the launcher runs it through start.exe), the 32-bit one under WoW64 by the
    # Linux path it was given. Other builds of it that may run on the machine at the same time
    # have other paths.
    unix_path = os.path.abspath(command[1])
    names = {unix_path.encode(), ("Z:" + unix_path.replace("/", "\\")).encode()}
    servers = {pid: proc_cpu_seconds(pid) for pid in wineserver_pids(env)}
    start = time.perf_counter()
    process = subprocess.Popen(command, env=env, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    peak = 0
    cpu = {}
    while process.poll() is None:
        for pid in os.listdir("/proc"):
            if not pid.isdigit():
                continue
            try:
                with open(f"/proc/{pid}/cmdline", "rb") as f:
                    if f.read().split(b"\0", 1)[0] not in names:
                        continue
                with open(f"/proc/{pid}/status") as f:
                    for line in f:
                        if line.startswith("VmHWM:"):
                            peak = max(peak, int(line.split()[1]))
                seconds = proc_cpu_seconds(pid)
                if seconds is not None:
                    cpu[pid] = seconds
            except OSError:
                continue
        time.sleep(0.02)
    wall = time.perf_counter() - start
    server = sum((proc_cpu_seconds(pid) or 0.0) - (before or 0.0) for pid, before in servers.items())
    return (peak / 1024.0 if peak else float("nan")), sum(cpu.values()), server, wall


def process_peak(command, env=None):
    """Peak resident memory in MB of one command."""
    return watch_process(command, env)[0]


def peak_of(commands, env=None):
    """Peak resident memory of one batch: the largest of its commands' (of side-by-side ones, the
    largest one alone)."""
    peaks = [process_peak(part, env) for command in commands
             for part in (command if isinstance(command[0], list) else [command])]
    return max(peaks) if all(p == p for p in peaks) else float("nan")


def store_profiles(out, wine_env):
    """Writes task (c)'s three profiles as the stored ones of the Wine prefix's user; the folders
    are out/p240, out/p640 and out/p1280."""
    key = r"HKEY_CURRENT_USER\Software\Orvandel\Kestrelle32\Setting\Shrinks"
    lines = ["REGEDIT4", "", f"[{key}]", '"Count"=dword:00000003']
    for i, (box, fmt, quality) in enumerate(PROFILES):
        folder = "Z:" + os.path.join(out, f"p{box}").replace("/", "\\")
        folder = folder.replace("\\", "\\\\")
        lines += ["", f"[{key}\\{i:02d}]", '"Use"=dword:00000001', f'"Folder"="{folder}"', '"Prefix"=""',
                  '"BkColor"=dword:00ffffff', '"Transparent"=dword:00000000', '"ShrinkType"=dword:00000001',
                  f'"ShrinkWidth"=dword:{box:08x}', f'"ShrinkHeight"=dword:{box:08x}',
                  f'"CustomWidth"=dword:{box:08x}', f'"CustomHeight"=dword:{box:08x}',
                  "", f"[{key}\\{i:02d}\\SaveFormat]", f'"Type"=dword:{1 if fmt == "jpg" else 0:08x}',
                  f'"JpegQuality"=dword:{quality or 80:08x}']
    path = os.path.join(out, "profiles.reg")
    with open(path, "w") as f:
        f.write("\r\n".join(lines) + "\r\n")
    subprocess.run(["wine", "regedit", "/S", "Z:" + path.replace("/", "\\")], check=True, env=wine_env,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


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


def decoded(source):
    """The picture file a source is scored against: itself, or for HEIC the PNG decoded from it."""
    return source[:-5] + ".png" if source.endswith(".heic") else source


def psnr(output, source, cache):
    source = decoded(source)
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


def peer_batches(files, box, ext, quality, scripts):
    """Each peer's command for one batch into {out} at `box`, in format `ext`."""
    jpeg = ext == "jpg"
    return {
        "vipsthumbnail": (["vipsthumbnail"] + files + ["--size", f"{box}x{box}", "-o",
                          "{out}/%s." + (f"jpg[Q={quality}]" if jpeg else "png")]),
        "imagemagick": (["/usr/bin/mogrify", "-path", "{out}", "-thumbnail", f"{box}x{box}"] +
                        (["-quality", str(quality), "-format", "jpg"] if jpeg else ["-format", "png"]) + files),
        "pillow": ["/usr/bin/python3", scripts["pillow"], "{out}", ext, str(box), str(quality)] + files,
        "pillow-draft": ["/usr/bin/python3", scripts["pillow-draft"], "{out}", ext, str(box), str(quality)] + files,
    }


def tools(task, files, out, cli, wine_env):
    """name -> (list of (command, output folder suffix), env); the commands of one batch."""
    # Pillow twice: thumbnail() alone, which asks the JPEG reader for a reduced scale that keeps
    # at least twice the box (the rule this program follows), and with an explicit draft() to the
    # box itself first, which decodes smaller still at some cost in quality.
    scripts = {}
    for name, draft in (("pillow", ""), ("pillow-draft", "    im.draft('RGB', (box, box))\n")):
        scripts[name] = os.path.join(out, name.replace("-", "_") + "_batch.py")
        with open(scripts[name], "w") as f:
            f.write(
                "import sys, os\nfrom PIL import Image\n"
                "out, jpeg, box, quality = sys.argv[1], sys.argv[2] == 'jpg', int(sys.argv[3]), int(sys.argv[4])\n"
                "for path in sys.argv[5:]:\n"
                "    im = Image.open(path)\n"
                f"{draft}"
                "    im.thumbnail((box, box))\n"
                "    name = os.path.splitext(os.path.basename(path))[0] + ('.jpg' if jpeg else '.png')\n"
                "    if jpeg: im.convert('RGB').save(os.path.join(out, name), quality=quality)\n"
                "    else: im.save(os.path.join(out, name))\n")
    ours = {"kestrelle-cli -t1": ["--threads", "1"], "kestrelle-cli": []}
    result = {}
    if task in ("a", "b", "d"):
        jpeg = task != "b"
        ext = "jpg" if jpeg else "png"
        cli_args = ["--out", "{out}", "--fit", f"{BOX}x{BOX}", "--overwrite"] + (["--jpeg=80"] if jpeg else [])
        for name, threads in ours.items():
            result[name] = ([(["wine", cli] + threads + cli_args + files, "")], wine_env)
        for name, command in peer_batches(files, BOX, ext, 80, scripts).items():
            if task != "d" or name == "vipsthumbnail":
                result[name] = ([(command, "")], None)
        if task in ("a", "d"):
            # Ours loads on one thread per processor; the peers go through their files one after
            # the other, so the fastest of them is also given both cores as two processes on
            # halves: vipsthumbnail for HEIC, Pillow with draft() for JPEG.
            peer = "vipsthumbnail" if task == "d" else "pillow-draft"
            halves = [peer_batches(files[i::2], BOX, ext, 80, scripts)[peer] for i in range(2)]
            result[peer + " x2"] = ([(halves, "")], None)
        return result
    for name, threads in ours.items():
        result[name] = ([(["wine", cli, "--overwrite"] + threads + files, "")], wine_env)
    # (a)'s job, its output where the 640 profile's would be.
    one_profile = ["--out", "{out}", "--fit", f"{BOX}x{BOX}", "--overwrite", "--jpeg=80"]
    for name, threads in ours.items():
        result[name.replace("kestrelle-cli", "one profile")] = (
            [(["wine", cli] + threads + one_profile + files, f"/p{BOX}")], wine_env)
    batches = {}
    for box, ext, quality in PROFILES:
        for name, command in peer_batches(files, box, ext, quality, scripts).items():
            batches.setdefault(name, []).append((command, f"/p{box}"))
    for name, commands in batches.items():
        result[name] = (commands, None)
    return result


def output_for(out, source, task):
    base = os.path.splitext(os.path.basename(source))[0]
    if task == "c":
        return os.path.join(out, f"p{BOX}", base + ".jpg")
    return os.path.join(out, base + (".png" if task == "b" else ".jpg"))


def main():
    corpus, work, cli = (os.path.abspath(p) for p in sys.argv[1:4])
    runs = int(sys.argv[4]) if len(sys.argv) > 4 else 5
    os.makedirs(work, exist_ok=True)
    wine_env = dict(os.environ, WINEDEBUG="-all")
    jpegs = sorted(os.path.join(corpus, "jpeg", f) for f in os.listdir(os.path.join(corpus, "jpeg")))
    tasks = {
        "a": jpegs,
        "b": sorted(os.path.join(corpus, "png", f) for f in os.listdir(os.path.join(corpus, "png"))),
        "c": jpegs,
        "d": sorted(os.path.join(corpus, "heic", f) for f in os.listdir(os.path.join(corpus, "heic"))
                    if f.endswith(".heic")),
    }
    # KESTRELLE_BENCH_TASKS, e.g. "d", runs those tasks alone.
    chosen = os.environ.get("KESTRELLE_BENCH_TASKS", "abcd")
    for task, files in tasks.items():
        if task not in chosen:
            continue
        megapixels = sum(Image.open(decoded(f)).size[0] * Image.open(decoded(f)).size[1] for f in files) / 1e6
        what = {"a": f"fit {BOX}x{BOX} JPEG q80", "b": f"fit {BOX}x{BOX} PNG",
                "c": "three profiles: 240 PNG, 640 JPEG q80, 1280 JPEG q90 (peers: three batches)",
                "d": f"HEIC, fit {BOX}x{BOX} JPEG q80"}[task]
        print(f"\ntask ({task}): {len(files)} files, {megapixels:.1f} MP, {what}, {runs} runs")
        print(f"{'tool':<19}{'median s':>10}{'min':>8}{'max':>8}{'MP/s':>8}{'ratio':>8}{'peak MB':>9}{'PSNR dB':>9}")
        results = {}
        cache = {}
        commands = {}
        for name, (batch, env) in tools(task, files, work, cli, wine_env).items():
            out = os.path.join(work, f"{task}-{name.replace(' ', '')}")
            shutil.rmtree(out, ignore_errors=True)
            os.makedirs(out)
            concrete = []
            for command, suffix in batch:
                os.makedirs(out + suffix, exist_ok=True)
                fill = lambda part: [c.replace("{out}", out + suffix) for c in part]
                concrete.append([fill(p) for p in command] if isinstance(command[0], list) else fill(command))
            commands[name] = (concrete, env, out)
        if task == "c":
            # Both of our runs write into the same three folders, those of the stored profiles.
            shared = os.path.join(work, "c-kestrelle")
            for box, _, _ in PROFILES:
                os.makedirs(os.path.join(shared, f"p{box}"), exist_ok=True)
            store_profiles(shared, wine_env)
            for name in ("kestrelle-cli -t1", "kestrelle-cli"):
                commands[name] = (commands[name][0], commands[name][1], shared)
        for name, (batch, env, out) in commands.items():
            run_timed(batch, env)
        # The tools take turns within each run, so a burst of load elsewhere on the machine
        # falls on all of them alike instead of on one tool's runs.
        times = {name: [] for name in commands}
        for _ in range(runs):
            for name, (batch, env, out) in commands.items():
                times[name].append(run_timed(batch, env))
        for name, (batch, env, out) in commands.items():
            peak = peak_of(batch, env)
            scores = [psnr(output_for(out, f, task), f, cache) for f in files]
            t = times[name]
            results[name] = (statistics.median(t), min(t), max(t), peak, statistics.mean(scores))
        ours = results["kestrelle-cli"][0]
        for name, (median, low, high, peak, score) in results.items():
            print(f"{name:<19}{median:>10.2f}{low:>8.2f}{high:>8.2f}{megapixels / median:>8.1f}"
                  f"{median / ours:>8.2f}{peak:>9.0f}{score:>9.2f}")
        if task == "d":
            # Where our time goes: the program's own processor time (all its threads: up to
            # twice the wall time on two cores) and the Wine server's, over one more batch.
            batch, env, out = commands["kestrelle-cli"]
            _, cpu, server, wall = watch_process(batch[0], env)
            print(f"kestrelle-cli processor time: {100 * cpu / wall:.0f} % of its wall time ({wall:.2f} s), "
                  f"the Wine server's meanwhile {100 * server / wall:.0f} %")
        if task == "c":
            print("three profiles against one profile, same runs: "
                  f"-t1 {results['kestrelle-cli -t1'][0] / results['one profile -t1'][0]:.2f}, "
                  f"default {ours / results['one profile'][0]:.2f}")


if __name__ == "__main__":
    main()
