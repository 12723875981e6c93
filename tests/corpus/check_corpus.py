#!/usr/bin/python3
"""Conformance of the BMP and PNG readers against the third-party corpus.

Every file is loaded through `vq convert FILE out.png --depth 32`; where the
file is a valid one, the pixels must be those Pillow decodes, except where
the system deliberately differs from other decoders (each such case is
named below).  Damaged and hostile files must be refused with a message or
read without a crash.  Usage: check_corpus.py bmp|png CORPUS_DIR
"""
import os
import subprocess
import sys
import shutil
import tempfile

from PIL import Image

VQ = os.environ["VQ"]
WORK = tempfile.mkdtemp(prefix="glimvq-corpus-")
failures = []
counts = {}


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
            im = im.point(lambda v: v / 256).convert("L")
        return im.convert("RGBA")
    except Exception:
        return None


def imagemagick(path):
    # Raw samples: ImageMagick's own PNG output can mark a stray pixel of a
    # palette image transparent.
    out = os.path.join(WORK, "ref.rgba")
    r = subprocess.run(["/usr/bin/convert", path, "-depth", "8", "rgba:" + out], stderr=subprocess.DEVNULL)
    size = subprocess.run(["/usr/bin/identify", "-format", "%w %h\n", path], stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL)
    if r.returncode != 0 or size.returncode != 0:
        return None
    width, height = map(int, size.stdout.split(b"\n")[0].split())
    return Image.frombytes("RGBA", (width, height), open(out, "rb").read())


def worst_difference(a, b, alpha):
    if a.size != b.size:
        return 999
    pa, pb = a.tobytes(), b.tobytes()
    n = 4 if alpha else 3
    worst = 0
    for i in range(0, len(pa), 4):
        for c in range(n):
            d = abs(pa[i + c] - pb[i + c])
            if d > worst:
                worst = d
    return worst


def bmp_header(path):
    data = open(path, "rb").read(64)
    if len(data) < 30 or data[:2] != b"BM":
        return None
    size = int.from_bytes(data[14:18], "little")
    if size == 12:
        return dict(size=12, width=int.from_bytes(data[18:20], "little"),
                    height=int.from_bytes(data[20:22], "little"),
                    bits=int.from_bytes(data[24:26], "little"), compression=0)
    if len(data) < 34:
        return None
    return dict(size=size, width=int.from_bytes(data[18:22], "little", signed=True),
                height=int.from_bytes(data[22:26], "little", signed=True),
                bits=int.from_bytes(data[28:30], "little"),
                compression=int.from_bytes(data[30:34], "little"))


def bmp_555(path):
    """A 16-bit bitmap as the system reads it: 5-5-5 samples shifted left by 3."""
    data = open(path, "rb").read()
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    stride = (2 * width + 3) // 4 * 4
    pixels = []
    for y in range(height):
        row = offset + (height - 1 - y) * stride
        for x in range(width):
            v = int.from_bytes(data[row + 2 * x:row + 2 * x + 2].ljust(2, b"\0"), "little")
            pixels.append((((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3, 255))
    im = Image.new("RGBA", (width, height))
    im.putdata(pixels)
    return im


# Folders of files that are valid: their pixels are compared.
VALID_BMP = ("bmpsuite/g/", "image-rs/", "twelvemonkeys/", "zigimg/", "pngsuite-paintnet/", "pillow/")
INVALID_BMP = ("/b/", "/q/", "/bad/", "/lenient/", "broken-bmp", "/reference/")
# Valid files whose pixels are not Pillow's for a reason of their own.
NOT_COMPARED = {
    # The BMP reader has no RLE24 (an OS/2 compression) and no JPEG or PNG inside.
    "rgb24rle24.bmp": "RLE24 is not decoded",
    # Index values past the palette show black; others' readers differ.
    "pal8badindex.bmp": "indices past the palette",
    "hopper_rle8_row_overflow.bmp": "a run past the row end is clipped",
    # Deliberate: an RLE4 run that crosses the right edge goes on at the left
    # of the next row up.  Encoders that pad odd-width rows to whole bytes
    # make such runs, and others' readers drop the extra pixel.
    "blauesglas_4.rle": "RLE4 runs past the right edge continue on the next row up",
}
# Files of the valid folders that their source calls malformed.
MALFORMED = {"mmap_error.bmp", "l2rgb_read.bmp", "clipboard.dib"}


def check_bmp(path, rel, out):
    rc, err = vq_load(path, out)
    if rc not in (0, 1):
        failures.append("%s: vq ended with status %d: %s" % (rel, rc, err[-300:]))
        return
    if rc == 1 and not err:
        failures.append("%s: refused without a message" % rel)
        return
    h = bmp_header(path)
    valid = (rel.startswith(VALID_BMP) and not any(part in "/" + rel for part in INVALID_BMP) and
             os.path.basename(rel) not in MALFORMED)
    if not valid or h is None:
        count("damaged or questionable: refused" if rc else "damaged or questionable: read")
        return
    name = os.path.basename(rel)
    if h["height"] < 0:
        # Deliberate: top-down bitmaps are refused.
        if rc == 1 and "BMP file looks corrupted" in err:
            count("top-down: refused as the system does")
        else:
            failures.append("%s: a top-down bitmap was not refused" % rel)
        return
    if rc != 0:
        failures.append("%s: refused: %s" % (rel, err))
        return
    ours = Image.open(out).convert("RGBA")
    if h["bits"] not in (1, 4, 8, 16, 24, 32) or h["compression"] not in (0, 1, 2, 3, 6) or name in NOT_COMPARED:
        count("not compared: " + NOT_COMPARED.get(name, "a form the reader leaves undecoded"))
        return
    if h["bits"] == 16:
        # Deliberate: 16-bit bitmaps are read as 5-5-5 whatever their masks say.
        ref, what = bmp_555(path), "16 bits: read as 5-5-5"
    elif h["compression"] in (1, 2):
        # Pillow's run-length decoding is not to be trusted; ImageMagick's is.
        ref, what = imagemagick(path), "same pixels as ImageMagick"
    else:
        ref, what = pillow(path), "same pixels as Pillow"
    if ref is None:
        count("the reference reader cannot read it")
        return
    # Alpha is compared where Pillow reads it: 32-bit files with an alpha
    # field.  Deliberate: alpha that is 0 everywhere is padding, read as opaque.
    alpha = h["bits"] == 32 and ref.getextrema()[3] not in ((255, 255), (0, 0))
    if worst_difference(ours, ref, alpha=alpha) != 0:
        failures.append("%s: pixels differ (%s)" % (rel, what))
    else:
        count(what)


def check_png(path, rel, out):
    rc, err = vq_load(path, out)
    if rc not in (0, 1):
        failures.append("%s: vq ended with status %d: %s" % (rel, rc, err[-300:]))
        return
    name = os.path.basename(rel)
    if name.startswith("x"):  # PngSuite's corrupted files
        if rc == 1 and err:
            count("corrupt: refused")
        else:
            failures.append("%s: a corrupt file was %s" % (rel, "read" if rc == 0 else "refused silently"))
        return
    if rc != 0:
        failures.append("%s: refused: %s" % (rel, err))
        return
    ref = pillow(path)
    if ref is None:
        count("Pillow cannot read it")
        return
    ours = Image.open(out).convert("RGBA")
    # 16-bit samples: vq keeps the high byte, as Pillow does for colour.
    tolerance = 1 if "16" in name else 0
    if worst_difference(ours, ref, alpha=True) <= tolerance:
        count("same pixels as Pillow")
        return
    # Pillow keeps the transparent grey of a low-depth file unscaled; netpbm
    # gives a second opinion.
    second = netpbm_png(path)
    if second is not None and worst_difference(ours, second, alpha=True) <= tolerance:
        count("same pixels as netpbm (Pillow differs)")
    else:
        failures.append("%s: pixels differ from Pillow's and netpbm's" % rel)


def netpbm_png(path):
    colour, alpha = os.path.join(WORK, "ref.pnm"), os.path.join(WORK, "ref-alpha.pgm")
    with open(colour, "wb") as c, open(alpha, "wb") as a:
        if subprocess.run(["pngtopam", path], stdout=c, stderr=subprocess.DEVNULL).returncode != 0:
            return None
        if subprocess.run(["pngtopam", "-alpha", path], stdout=a, stderr=subprocess.DEVNULL).returncode != 0:
            return None
    im = Image.open(colour).convert("RGBA")
    im.putalpha(Image.open(alpha).convert("L"))
    return im


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
            if kind == "bmp" and f.lower().endswith((".bmp", ".dib", ".rle")):
                check_bmp(path, rel, out)
            elif kind == "png" and f.lower().endswith(".png") and rel.startswith("pngsuite/"):
                check_png(path, rel, out)
    for what, n in sorted(counts.items()):
        print("%5d  %s" % (n, what))
    for f in failures:
        print("FAIL: " + f)
    print("%d files, %d failures" % (sum(counts.values()) + len(failures), len(failures)))
    shutil.rmtree(WORK, ignore_errors=True)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
