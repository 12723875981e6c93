#!/usr/bin/python3
"""Conformance of the Targa, PCX and IFF readers against the third-party corpus.

Every file is loaded through `vq convert FILE out.png --depth 32`.  A file
that an independent reader (Pillow, ImageMagick, netpbm) decodes must come
out with the same pixels as at least one of them, unless the difference is
deliberate and named below.  Files their sources call damaged must be
refused with a message or read, never crash.
Usage: check_still.py tga|pcx|iff CORPUS_DIR
"""
import os
import shutil
import subprocess
import sys
import tempfile

from PIL import Image

VQ = os.environ["VQ"]
WORK = tempfile.mkdtemp(prefix="glimvq-still-")
failures = []
counts = {}

NETPBM = {"tga": "tgatoppm", "pcx": "pcxtoppm", "iff": "ilbmtoppm"}

# Files whose sources call them damaged or hostile.
DAMAGED = ("regression/", "ossfuzz", "01r_00.pcx", "cross_scan_line_truncated")

# Deliberate differences, by file name: what the system does instead, and
# how far its pixels may lie from another reader's (None: not compared).
HAM_WIDENING = "HAM data widen by repeating their bits (d x 17, d x 4 + d / 16); netpbm shifts them"
DELIBERATE = {
    # Version 3 files carry no palette (their header bytes are left over
    # from memory); the system shows them in the EGA adapter's colours.
    "animals.pcx": ("version 3 files show the EGA colours, not the header's stray bytes", None),
    "sample-ham.iff": (HAM_WIDENING, 15),
    "sample-24bit.iff": (HAM_WIDENING, 3),
    "sample-ham8.iff": (HAM_WIDENING, 3),
    "ham8.iff": (HAM_WIDENING, 3),
    # The display hardware shows colours 32 to 63 of a half-brite image as
    # halved copies of 0 to 31, whatever the CMAP stores there.
    "sample-ehb.iff": ("half-brite colours are halved copies, not the CMAP's stored upper half", None),
    "aga_pchg_amiga_16cl.iff": ("per-line palette changes (PCHG) are not applied", None),
    "aga_pchg_amiga_64cl.iff": ("per-line palette changes (PCHG) are not applied", None),
    "ocs_pchg_amiga_16cl.iff": ("per-line palette changes (PCHG) are not applied", None),
    "ocs_pchg_amiga_64cl.iff": ("per-line palette changes (PCHG) are not applied", None),
    "ps_testcard_cmyk.iff": ("CMYK palettes (a CMYK chunk) are not read; the CMAP is", None),
}
# Refusals that are the system's choice, by the words of the message.
DELIBERATE_REFUSALS = {
    "of form type": "IFF forms other than ILBM and TRIM (PBM, ACBM, DEEP, RGB8, RGFX, IMAG) are refused",
    "plane count": "deep ILBMs of 48 and 64 planes are refused",
}

def count(what):
    counts[what] = counts.get(what, 0) + 1


def vq_load(path, out):
    r = subprocess.run([VQ, "convert", path, out, "--type", "png", "--depth", "32"],
                       stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    return r.returncode, r.stderr.decode(errors="replace").strip()


def pillow(path):
    try:
        im = Image.open(path)
        im.load()
        if im.mode in ("I", "I;16", "I;16B"):
            return None
        return im.convert("RGBA")
    except Exception:
        return None


def imagemagick(path):
    out = os.path.join(WORK, "ref.rgba")
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h\n", path + "[0]"], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    r = subprocess.run(["/usr/bin/convert", path + "[0]", "-depth", "8", "rgba:" + out], stderr=subprocess.DEVNULL)
    if r.returncode != 0 or size.returncode != 0 or not size.stdout.strip():
        return None
    width, height = map(int, size.stdout.split(b"\n")[0].split())
    data = open(out, "rb").read()
    if len(data) != width * height * 4:
        return None
    return Image.frombytes("RGBA", (width, height), data)


def netpbm(kind, path):
    out = os.path.join(WORK, "ref.ppm")
    with open(out, "wb") as f, open(path, "rb") as src:
        r = subprocess.run([NETPBM[kind]], stdin=src, stdout=f, stderr=subprocess.DEVNULL)
    if r.returncode != 0 or os.path.getsize(out) == 0:
        return None
    try:
        return Image.open(out).convert("RGBA")
    except Exception:
        return None


def same(a, b, alpha, tolerance=0):
    if a.size != b.size:
        return False
    if not alpha:
        a, b = a.convert("RGB"), b.convert("RGB")
    if tolerance == 0:
        return a.tobytes() == b.tobytes()
    return max(abs(x - y) for x, y in zip(a.tobytes(), b.tobytes())) <= tolerance


def expected_png(path, rel):
    """The decode a source ships beside its file: image-rs keeps reference/<name>.png,
    KDE <stem>.png next to the file."""
    name = os.path.basename(path)
    folder = os.path.dirname(path)
    for candidate in (os.path.join(folder, "..", "reference", name + ".png"),
                      os.path.splitext(path)[0] + ".png"):
        if os.path.isfile(candidate):
            try:
                return Image.open(candidate).convert("RGBA")
            except Exception:
                return None
    return None


def tga_type(path):
    h = open(path, "rb").read(18)
    return h[2] if len(h) >= 3 else -1


def tga_five_bits(path):
    h = open(path, "rb").read(18)
    return len(h) == 18 and (h[16] in (15, 16) or (h[1] == 1 and h[7] in (15, 16)))


def check(kind, path, rel, out):
    name = os.path.basename(rel)
    rc, err = vq_load(path, out)
    if rc not in (0, 1):
        failures.append("%s: vq ended with status %d: %s" % (rel, rc, err[-300:]))
        return
    if rc == 1 and not err:
        failures.append("%s: refused without a message" % rel)
        return
    if any(d in rel for d in DAMAGED):
        count("damaged: refused" if rc else "damaged: read")
        return
    if kind == "tga" and tga_type(path) in (3, 11):
        why = "grey Targa files (types 3 and 11) are not recognised by content"
        if rc == 1 and "not recognized" in err:
            count("deliberate: " + why)
        else:
            failures.append("%s: a grey Targa file was not refused" % rel)
        return
    refs = [("Pillow", pillow(path)), ("ImageMagick", imagemagick(path)), ("netpbm", netpbm(kind, path)),
            ("the decode its source ships", expected_png(path, rel))]
    refs = [(who, im) for who, im in refs if im is not None]
    if rc != 0:
        for words, why in DELIBERATE_REFUSALS.items():
            if words in err:
                count("deliberate: " + why)
                return
        if kind == "iff" and open(path, "rb").read(4) == b"FOR4":
            count("deliberate: Maya's FOR4 files are not IFF-85 and are not recognised")
            return
        if refs:
            failures.append("%s: refused (%s) but %s reads it" % (rel, err.splitlines()[0], refs[0][0]))
        else:
            count("no reader reads it: refused")
        return
    if not refs:
        count("read where no other reader does")
        return
    ours = Image.open(out).convert("RGBA")
    alpha = ours.getextrema()[3] != (255, 255)
    for who, ref in refs:
        if same(ours, ref, alpha):
            count("same pixels as " + who)
            return
    # Deliberate: 5-bit samples widen as v * 8 + v / 4 (their top bits
    # repeated); the others round v * 255 / 31, at most 1 apart.
    if kind == "tga" and tga_five_bits(path):
        for who, ref in refs:
            if same(ours, ref, alpha, tolerance=1):
                count("5-bit samples: within 1 of " + who)
                return
    if name in DELIBERATE:
        why, tolerance = DELIBERATE[name]
        if tolerance is None or any(same(ours, ref, alpha, tolerance) for _, ref in refs):
            count("deliberate: " + why)
            return
    failures.append("%s: pixels differ from %s" % (rel, ", ".join(who for who, _ in refs)))


def wanted(kind, rel):
    low = rel.lower()
    if "/reference/" in "/" + low or low.endswith((".png", ".json", ".txt", "license", ".md")):
        return False
    return True


def main():
    kind, corpus = sys.argv[1], sys.argv[2]
    root = os.path.join(corpus, kind)
    if not os.path.isdir(root):
        print("skipped: no corpus at %s" % root)
        return 0
    out = os.path.join(WORK, "out.png")
    for folder, _, files in sorted(os.walk(root)):
        for f in sorted(files):
            path = os.path.join(folder, f)
            rel = os.path.relpath(path, root)
            if wanted(kind, rel):
                check(kind, path, rel, out)
    for what, n in sorted(counts.items()):
        print("%5d  %s" % (n, what))
    for f in failures:
        print("FAIL: " + f)
    print("%d files, %d failures" % (sum(counts.values()) + len(failures), len(failures)))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
