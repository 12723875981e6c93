"""The jobs of bench/peers.sh, run in the current folder: makes the inputs,
then times vq and its peers on them (python3 with Pillow, vips, ImageMagick)."""
import os
import random
import sys
import time

from PIL import Image

RUNS = int(os.environ.get("RUNS", "5"))
VQ = sys.argv[1]
results = {}


def make_inputs():
    n = 4096
    noise = Image.frombytes("RGB", (n, n), os.urandom(n * n * 3))
    noise.save("in.bmp")
    noise.save("in.ppm")
    noise.save("in.png", compress_level=1)
    noise.save("in.jpg", quality=90)
    noise.save("in.tif")
    # Smooth gradients, grain and edges, as photographs and renders have.
    w = h = 1024
    random.seed(1)
    px = bytearray(w * h * 3)
    for y in range(h):
        for x in range(w):
            g = random.randint(0, 16) - 8
            i = 3 * (y * w + x)
            px[i] = max(0, min(255, x * 255 // w + g))
            px[i + 1] = max(0, min(255, y * 255 // h + g))
            px[i + 2] = max(0, min(255, ((x // 64 + y // 64) & 1) * 160 + g + 40))
    photo = Image.frombytes("RGB", (w, h), bytes(px))
    photo.save("photo.bmp")
    photo.save("photo.ppm")


def run_once(cmd):
    """One run: wall time, CPU time (from wait4, which takes in the
    program's threads) and peak memory (from /usr/bin/time, whose child
    does not start as a copy of Python)."""
    start = time.monotonic()
    pid = os.fork()
    if pid == 0:
        null = os.open(os.devnull, os.O_WRONLY)
        os.dup2(null, 1)
        os.dup2(null, 2)
        os.execv("/usr/bin/time", ["/usr/bin/time", "-f", "%M", "-o", "peak.txt"] + list(cmd))
    _, status, usage = os.wait4(pid, 0)
    wall = time.monotonic() - start
    if status != 0:
        sys.exit("failed: %s" % " ".join(cmd))
    return wall, usage.ru_utime + usage.ru_stime, int(open("peak.txt").read().split()[-1])


def median(values):
    values = sorted(values)
    return values[len(values) // 2]


def measure(*jobs):
    """Runs the jobs (label, command...) by turns, RUNS rounds, so that a
    machine whose load changes tilts none of them; the medians count."""
    runs = {job[0]: [] for job in jobs}
    for _ in range(RUNS):
        for job in jobs:
            runs[job[0]].append(run_once(job[1:]))
    for job in jobs:
        label, r = job[0], runs[job[0]]
        wall, cpu = median([x[0] for x in r]), median([x[1] for x in r])
        peak = max(x[2] for x in r)
        results[label] = (wall, cpu)
        print("%-34s wall %6.3f s   cpu %6.3f s   peak %7.1f MB" % (label, wall, cpu, peak / 1024))


def ratio(a, b):
    (wa, ca), (wb, cb) = results[a], results[b]
    print("%-62s wall %5.2f x   cpu %5.2f x" % (a + " / " + b, wa / wb, ca / cb))


make_inputs()
print("== negate, 4096 x 4096 RGB (the image in memory: 64 MB as RGBA)")
measure(("vq apply Negative (bmp)", VQ, "apply", "in.bmp", "out.bmp", "Negative"),
        ("vips invert (ppm)", "vips", "invert", "in.ppm", "out.ppm"),
        ("convert -negate (bmp)", "/usr/bin/convert", "in.bmp", "-negate", "out2.bmp"))
ratio("vq apply Negative (bmp)", "vips invert (ppm)")
ratio("vq apply Negative (bmp)", "convert -negate (bmp)")

print("\n== vq info, 4096 x 4096 files: header only, and decoded (--diag)")
for f in ("in.bmp", "in.png", "in.jpg", "in.tif", "in.ppm"):
    measure(("vq info " + f, VQ, "info", f), ("vq info --diag " + f, VQ, "info", "--diag", f))

print("\n== PNG writing, 1024 x 1024 photograph-like picture")
measure(("vq convert (default)", VQ, "convert", "photo.bmp", "vq.png"),
        ("vq convert --compress 9", VQ, "convert", "photo.bmp", "vq9.png", "--compress", "9"),
        ("convert (ImageMagick default)", "/usr/bin/convert", "photo.bmp", "im.png"),
        ("vips copy (vips default)", "vips", "copy", "photo.ppm", "vips.png"))
ratio("vq convert (default)", "convert (ImageMagick default)")
ratio("vq convert (default)", "vips copy (vips default)")
ratio("vq convert --compress 9", "convert (ImageMagick default)")
for f in ("vq.png", "vq9.png", "im.png", "vips.png"):
    print("%-34s %9d bytes" % (f, os.path.getsize(f)))
