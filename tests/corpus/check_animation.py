#!/usr/bin/python3
"""Conformance of the GIF and FLI/FLC readers against the third-party corpus.

gif: every frame of the pygif suite that lists its pixels, the image-rs files
     with reference pictures, and Pillow's files (its malformed ones must be
     refused with a message, quickly).
fli: every frame of the valid files equal to ffmpeg's decoding; the fuzzer
     files are refused or read, never a crash or a hang.

Frames are read through `vq convert FILE out.png --frame N --depth 32`.
Where the system deliberately differs from other decoders, the case says so.
Usage: check_animation.py gif|fli CORPUS_DIR
"""
import configparser
import os
import re
import shutil
import subprocess
import sys
import tempfile
import time

from PIL import Image

VQ = os.environ["VQ"]
WORK = tempfile.mkdtemp(prefix="glimvq-anim-")
OUT = os.path.join(WORK, "out.png")
failures = []
counts = {}


def count(what):
    counts[what] = counts.get(what, 0) + 1


def vq(*words, timeout=60):
    start = time.monotonic()
    try:
        r = subprocess.run([VQ] + list(words), stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return -1, "timed out", timeout
    return r.returncode, (r.stdout + r.stderr).decode(errors="replace").strip(), time.monotonic() - start


def read_frame(path, frame):
    """Our frame as RGBA, or (None, message)."""
    if os.path.exists(OUT):
        os.remove(OUT)
    rc, text, _ = vq("convert", path, OUT, "--type", "png", "--depth", "32", "--frame", str(frame))
    if rc != 0:
        return None, "status %d: %s" % (rc, text[-200:])
    return Image.open(OUT).convert("RGBA"), text


def differences(ours, ref, background=None):
    """Pixels that differ.  Where the reference is transparent, ours may be
    transparent too or show the background colour: the system fills what no
    frame covers (and what disposal clears, when the frame had no
    transparent index) with the background colour, opaque."""
    if ours.size != ref.size:
        return -1
    a, b = ours.tobytes(), ref.tobytes()
    bad = 0
    for i in range(0, len(a), 4):
        if b[i + 3] == 0:
            if a[i + 3] == 0 or (background is not None and tuple(a[i:i + 3]) == background):
                continue
            bad += 1
        elif a[i:i + 4] != b[i:i + 4]:
            bad += 1
    return bad


# ---- GIF ---------------------------------------------------------------------

def gif_blocks(path):
    """The images of a GIF file in order: for each, whether a graphic control
    extension came before it; and the background colour of the global table."""
    d = open(path, "rb").read()
    images, background = [], None
    if len(d) < 13:
        return images, background
    packed, bg = d[10], d[11]
    p = 13
    if packed & 0x80:
        size = 3 << ((packed & 7) + 1)
        if bg * 3 + 3 <= size:
            background = tuple(d[p + 3 * bg:p + 3 * bg + 3])
        p += size
    gce = False

    def skip_blocks(p):
        while p < len(d) and d[p]:
            p += d[p] + 1
        return p + 1

    while p < len(d):
        b = d[p]
        if b == 0x21 and p + 1 < len(d):
            if d[p + 1] == 0xF9:
                gce = True
            p = skip_blocks(p + 2)
        elif b == 0x2C and p + 10 <= len(d):
            packed = d[p + 9]
            p += 10
            if packed & 0x80:
                p += 3 << ((packed & 7) + 1)
            images.append(gce)
            gce = False
            p = skip_blocks(p + 1)
        elif b == 0x3B:
            break
        else:
            p += 1
    return images, background


def pygif(root):
    folder = os.path.join(root, "pygif-suite")
    if not os.path.isdir(folder):
        return
    for test in open(os.path.join(folder, "TESTS")).read().split():
        conf = configparser.ConfigParser(inline_comment_prefixes=("#",))
        conf.read(os.path.join(folder, test + ".conf"))
        config = conf["config"]
        path = os.path.join(folder, config["input"])
        frames = [f.strip() for f in config.get("frames", "").split(",") if f.strip()]
        if not frames:
            # The suite expects no picture; the system may read one, but it
            # must not crash or hang.
            rc, text, _ = vq("convert", path, OUT, "--type", "png", "--depth", "32")
            if rc not in (0, 1) or (rc == 1 and not text):
                failures.append("pygif %s: status %d %s" % (test, rc, text[-200:]))
            else:
                count("pygif: no picture expected, %s" % ("refused" if rc else "read without harm"))
            continue
        # A frame of the suite ends at an image with a graphic control
        # extension (or the last image); images before it without one are
        # shown with it.  The system reads each image as a frame, so the
        # suite's frame is the system's frame of that image.
        images, background = gif_blocks(path)
        forced = config.get("force-animation", "no") == "yes"
        ends = [i for i, g in enumerate(images) if g or forced or i == len(images) - 1]
        if background is None and "background" in config:
            background = tuple(int(config["background"][k:k + 2], 16) for k in (1, 3, 5))
        for n, name in enumerate(frames):
            section = conf[name]
            if "pixels" not in section:
                continue
            frame = ends[n] + 1 if n < len(ends) else n + 1
            ours, text = read_frame(path, frame)
            if ours is None:
                failures.append("pygif %s frame %d: %s" % (test, n + 1, text))
                continue
            expected = Image.frombytes("RGBA", ours.size, open(os.path.join(folder, section["pixels"]), "rb").read())
            bad = differences(ours, expected, background)
            if bad:
                failures.append("pygif %s frame %d: %d pixels differ" % (test, n + 1, bad))
            else:
                count("pygif: frames with the suite's pixels")


def image_rs(root):
    folder = os.path.join(root, "image-rs")
    refs = os.path.join(folder, "reference")
    if not os.path.isdir(refs):
        return
    for sub in sorted(os.listdir(refs)):
        for png in sorted(os.listdir(os.path.join(refs, sub))):
            path = os.path.join(folder, sub, png[:-len(".png")])
            # The references show the first frame.
            ours, text = read_frame(path, 1)
            if ours is None:
                failures.append("image-rs %s/%s: %s" % (sub, png, text))
                continue
            ref = Image.open(os.path.join(refs, sub, png)).convert("RGBA")
            bad = differences(ours, ref, gif_blocks(path)[1])
            if bad:
                failures.append("image-rs %s/%s: %d pixels differ" % (sub, png, bad))
            else:
                count("image-rs: same pixels as the reference")


# Pillow's malformed files: refused with a message, within a second or two,
# without allocating what they claim.
PILLOW_REFUSED = ("decompression_bomb.gif", "zero_width.gif")
# A frame placed at 65535, 65535: clipped to the logical screen, which is
# all the system allocates.
PILLOW_CLIPPED = {"decompression_bomb_extents.gif": (2, (100, 100))}
# Files whose frames the system deliberately shows otherwise than Pillow.
PILLOW_DIFFERS = {
    "iss634.gif": "a non-zero aspect byte gives \"Invalid GIF format\" and the empty image",
    "dispose_bgnd.gif": "disposal to the background takes the global table's colour, Pillow the frame's table",
    "dispose_bgnd_rgba.gif": "disposal to the background takes the global table's colour, Pillow the frame's table",
}


def pillow(root):
    folder = os.path.join(root, "pillow")
    if not os.path.isdir(folder):
        return
    for name in sorted(os.listdir(folder)):
        path = os.path.join(folder, name)
        rc, text, seconds = vq("convert", path, OUT, "--type", "png", "--depth", "32")
        if name in PILLOW_REFUSED:
            if rc == 1 and text and seconds < 5:
                count("pillow: malformed, refused with a message")
            else:
                failures.append("pillow %s: status %d after %.1f s: %s" % (name, rc, seconds, text[-200:]))
            continue
        if name in PILLOW_CLIPPED:
            frame, size = PILLOW_CLIPPED[name]
            start = time.monotonic()
            ours, text = read_frame(path, frame)
            if ours is not None and ours.size == size and time.monotonic() - start < 5:
                count("pillow: a frame outside the screen, clipped")
            else:
                failures.append("pillow %s: frame %d not clipped to %s: %s" % (name, frame, size, text))
            continue
        if rc not in (0, 1) or (rc == 1 and not text):
            failures.append("pillow %s: status %d %s" % (name, rc, text[-200:]))
            continue
        if rc == 1:
            count("pillow: refused with a message")
            continue
        if name in PILLOW_DIFFERS:
            count("pillow: read, not compared: " + PILLOW_DIFFERS[name])
            continue
        try:
            ref = Image.open(path)
            frames = getattr(ref, "n_frames", 1)
        except Exception:
            count("pillow: read; Pillow cannot")
            continue
        background = gif_blocks(path)[1]
        for n in range(frames):
            try:
                ref.seek(n)
                expected = ref.convert("RGBA")
            except Exception:
                count("pillow: frames Pillow cannot decode")
                continue
            ours, text = read_frame(path, n + 1)
            bad = differences(ours, expected, background) if ours is not None else -1
            if bad:
                failures.append("pillow %s frame %d: %s" % (name, n + 1, text if ours is None else
                                                             "%d pixels differ from Pillow's" % bad))
            else:
                count("pillow: frames with Pillow's pixels")


# ---- FLI/FLC -----------------------------------------------------------------

def ffmpeg_frames(path):
    folder = os.path.join(WORK, "ffmpeg")
    shutil.rmtree(folder, ignore_errors=True)
    os.makedirs(folder)
    subprocess.run(["ffmpeg", "-v", "error", "-i", path, "-f", "image2", os.path.join(folder, "f%04d.png")],
                   check=True)
    return [os.path.join(folder, f) for f in sorted(os.listdir(folder))]


def header(path):
    d = open(path, "rb").read(16)
    return int.from_bytes(d[4:6], "little"), int.from_bytes(d[6:8], "little")


def fli(root):
    folder = os.path.join(root, "pillow")
    for name in ("a.fli", "2422.flc"):
        path = os.path.join(folder, name)
        if not os.path.exists(path):
            continue
        magic, frames = header(path)
        refs = ffmpeg_frames(path)
        # ffmpeg also shows the ring frame after the last.
        if len(refs) < frames:
            failures.append("%s: ffmpeg gave %d frames of %d" % (name, len(refs), frames))
            continue
        for n in range(frames):
            ours, text = read_frame(path, n + 1)
            if ours is None:
                failures.append("%s frame %d: %s" % (name, n + 1, text))
                break
            ref = Image.open(refs[n]).convert("RGBA")
            if magic == 0xAF11:
                # Deliberate: 64-level palette values are shifted left by 2
                # (63 gives 252); ffmpeg fills the low bits as well.
                ref = ref.point(lambda v: v & 0xFC)
                ref.putalpha(255)
            if ours.tobytes() != ref.tobytes():
                failures.append("%s frame %d: pixels differ from ffmpeg's" % (name, n + 1))
            else:
                count("frames equal to ffmpeg's")
        # Beyond the last frame the last is read.
        last, _ = read_frame(path, frames + 5)
        if last is None or last.tobytes() != read_frame(path, frames)[0].tobytes():
            failures.append("%s: a frame beyond the last did not give the last" % name)
    # Every file, the fuzzer's included: read (its last frame) or refused
    # with a message, never a crash or a hang.
    for base, _, files in sorted(os.walk(root)):
        for name in sorted(files):
            if not name.lower().endswith((".fli", ".flc")):
                continue
            path = os.path.join(base, name)
            rc, text, seconds = vq("info", path, timeout=60)
            if rc == 0 or (rc == 1 and text):
                count("FLIC files read or refused (%s)" % ("read" if rc == 0 else "refused"))
            else:
                failures.append("%s: status %d after %.1f s: %s" % (os.path.relpath(path, root), rc, seconds,
                                                                     text[-200:]))


def main():
    kind, corpus = sys.argv[1], sys.argv[2]
    root = os.path.join(corpus, kind)
    if not os.path.isdir(root):
        print("skipped: no corpus at %s" % root)
        return 0
    if kind == "gif":
        pygif(root)
        image_rs(root)
        pillow(root)
    else:
        fli(root)
    for what, n in sorted(counts.items()):
        print("%5d  %s" % (n, what))
    for f in failures:
        print("FAIL: " + f)
    print("%d checks, %d failures" % (sum(counts.values()) + len(failures), len(failures)))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
