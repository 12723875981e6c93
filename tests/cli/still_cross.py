#!/usr/bin/python3
"""Targa, PCX, IFF, PPM, SGI and Photoshop files exchanged with Pillow,
ImageMagick and netpbm.

Every file vq writes, at every depth and compression it writes, is read by
two independent programs with vq's pixels (Pillow and ImageMagick for Targa
and PCX, netpbm's ilbmtoppm and ImageMagick for ILBM); TRIM, which only vq
reads, must come back bit for bit.  Files those programs write must load in
vq with their pixels.  Run by still_cross.sh with Debian's /usr/bin/python3.
"""
import os
import subprocess
import sys

from PIL import Image

VQ = os.environ["VQ"]
IM = "/usr/bin/convert"
WORK = os.environ.get("TEST_TMP", "/tmp/glimvq-still-cross")
os.makedirs(WORK, exist_ok=True)
failures = 0
checked = 0


def run(cmd, stdout=None, stdin=None):
    return subprocess.run(cmd, stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE, stdin=stdin)


def fail(text):
    global failures
    failures += 1
    print("FAIL: " + text)


def ok(text):
    global checked
    checked += 1
    print("ok: " + text)


def at(name):
    return os.path.join(WORK, name)


def by_vq(path):
    out = path + ".vq.png"
    r = run([VQ, "convert", path, out, "--type", "png", "--depth", "32"])
    if r.returncode != 0:
        return None, r.stderr.decode(errors="replace").strip()
    return Image.open(out).convert("RGBA"), ""


def by_pillow(path):
    im = Image.open(path)
    im.load()
    return im.convert("RGBA")


def by_imagemagick(path):
    out = path + ".im.rgba"
    r = run([IM, path, "-depth", "8", "rgba:" + out])
    size = run(["/usr/bin/identify", "-format", "%w %h\n", path])
    if r.returncode != 0 or size.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace").strip()[:200])
    width, height = map(int, size.stdout.split(b"\n")[0].split())
    return Image.frombytes("RGBA", (width, height), open(out, "rb").read())


def by_imagemagick_oriented(path):
    # ImageMagick 6 keeps a bottom-origin Targa upside down unless asked to
    # turn it the way its header says.
    out = path + ".im.png"
    r = run([IM, path, "-auto-orient", out])
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace").strip()[:200])
    return Image.open(out).convert("RGBA")


def by_netpbm(tool):
    def read(path):
        out = path + ".nb.ppm"
        with open(path, "rb") as src, open(out, "wb") as f:
            r = run([tool], stdout=f, stdin=src)
        if r.returncode != 0:
            raise RuntimeError(r.stderr.decode(errors="replace").strip()[:200])
        return Image.open(out).convert("RGBA")
    return read


def difference(a, b, alpha):
    if a.size != b.size:
        return 999
    if not alpha:
        a, b = a.convert("RGB"), b.convert("RGB")
    return max((abs(x - y) for x, y in zip(a.tobytes(), b.tobytes())), default=0)


def source_image():
    """An odd-sized picture with flat runs, gradients and partial alpha."""
    w, h = 61, 37
    im = Image.new("RGBA", (w, h))
    px = []
    for y in range(h):
        for x in range(w):
            if x < 20:
                px.append((200, 30, 40, 255))
            else:
                px.append(((x * 7 + y) % 256, (y * 13) % 256, (x * y) % 256, (x * 4 + y * 3) % 256))
    im.putdata(px)
    path = at("source.png")
    im.save(path)
    return path, im


def check_ours(kind, depth, compress, readers, alpha):
    """vq writes the source; at least two of the readers must see vq's own
    pixels (and, at 24 and 32 bits, vq must see the source's)."""
    name = at("ours-%s-%d-%d.%s" % (kind, depth, compress, kind))
    r = run([VQ, "convert", SOURCE, name, "--type", kind, "--depth", str(depth), "--compress", str(compress)])
    label = "%s at %d bits, compress %d" % (kind, depth, compress)
    if r.returncode != 0:
        fail("vq could not write %s: %s" % (label, r.stderr.decode(errors="replace").strip()))
        return
    ours, err = by_vq(name)
    if ours is None:
        fail("vq cannot read its own %s: %s" % (label, err))
        return
    if depth >= 24 and difference(ours, SOURCE_IMAGE, alpha) != 0:
        fail("%s does not keep the pixels" % label)
        return
    agree = []
    for who, reader in readers:
        try:
            theirs = reader(name)
        except Exception as e:
            print("note: %s cannot read vq's %s: %s" % (who, label, e))
            continue
        if difference(ours, theirs, alpha and who != "netpbm") != 0:
            print("note: %s reads other pixels from vq's %s" % (who, label))
        else:
            agree.append(who)
    if len(agree) >= 2:
        ok("%s read vq's %s" % (" and ".join(agree), label))
    else:
        fail("fewer than two programs read vq's %s with its pixels (%s)" % (label, ", ".join(agree) or "none"))


def check_theirs(label, path, reference, tolerance=0, alpha=False):
    ours, err = by_vq(path)
    if ours is None:
        fail("vq cannot read %s: %s" % (label, err))
        return
    d = difference(ours, reference, alpha)
    if d > tolerance:
        fail("vq reads other pixels from %s (off by %d)" % (label, d))
    else:
        ok("vq reads %s" % label)


SOURCE, SOURCE_IMAGE = source_image()
TGA_READERS = [("Pillow", by_pillow), ("ImageMagick", by_imagemagick_oriented), ("netpbm", by_netpbm("tgatoppm"))]
# ImageMagick 6 shows a one-bit PCX inverted; Pillow and netpbm do not.
PCX_READERS = [("Pillow", by_pillow), ("ImageMagick", by_imagemagick), ("netpbm", by_netpbm("pcxtoppm"))]
ILBM_READERS = [("netpbm", by_netpbm("ilbmtoppm")), ("ImageMagick", by_imagemagick)]

# ---- files vq writes -------------------------------------------------------------
for compress in (0, 1):
    check_ours("tga", 24, compress, TGA_READERS, alpha=False)
    check_ours("tga", 32, compress, TGA_READERS, alpha=True)
    check_ours("iff", 24, compress, ILBM_READERS, alpha=False)
for depth in (24, 8, 4, 1):
    check_ours("pcx", depth, 1, PCX_READERS, alpha=False)
for depth in (8, 4, 1):
    check_ours("iff", depth, 1, ILBM_READERS, alpha=False)
# TRIM is this system's own: it must come back exactly, alpha included.
trm = at("ours.trm")
if run([VQ, "convert", SOURCE, trm, "--type", "trm"]).returncode != 0:
    fail("vq could not write TRIM")
else:
    back, err = by_vq(trm)
    if back is None or difference(back, SOURCE_IMAGE, True) != 0:
        fail("TRIM does not come back bit for bit " + err)
    else:
        ok("TRIM comes back bit for bit")

# ---- files others write ------------------------------------------------------------
rgb = SOURCE_IMAGE.convert("RGB")
for mode in ("RGB", "RGBA", "P", "L"):
    for rle in (False, True):
        path = at("pillow-%s-%d.tga" % (mode, rle))
        im = SOURCE_IMAGE.convert(mode) if mode != "P" else rgb.quantize(200)
        im.save(path, rle=rle)
        if mode == "L":
            # Grey Targa files are not recognised by content, by design.
            r = run([VQ, "info", path])
            if r.returncode == 1 and b"not recognized" in r.stderr:
                ok("Pillow's grey Targa is refused as designed")
            else:
                fail("Pillow's grey Targa was not refused")
            continue
        check_theirs("Pillow's %s Targa%s" % (mode, " (RLE)" if rle else ""), path,
                     im.convert("RGBA"), alpha=mode == "RGBA")
for mode in ("RGB", "P", "L", "1"):
    path = at("pillow-%s.pcx" % mode)
    im = rgb.quantize(200) if mode == "P" else rgb.convert(mode)
    im.save(path)
    check_theirs("Pillow's %s PCX" % mode, path, im.convert("RGBA"))
for args, label in ((["-compress", "RLE"], "RLE"), (["-compress", "None"], "raw")):
    path = at("im-%s.tga" % label)
    run([IM, SOURCE] + args + [path])
    # ImageMagick 6 stores its rows bottom first under a top-origin
    # descriptor; Pillow and netpbm read the file as it says, and so does vq.
    check_theirs("ImageMagick's %s Targa" % label, path, by_pillow(path), alpha=True)
for args, label in (([], "24-bit"), (["-colors", "200", "-type", "Palette"], "256-colour"),
                    (["-colors", "16", "-type", "Palette"], "16-colour"), (["-monochrome"], "monochrome")):
    path = at("im-%s.pcx" % label)
    run([IM, SOURCE, "-alpha", "off"] + args + [path])
    check_theirs("ImageMagick's %s PCX" % label, path, by_imagemagick(path))

ppm = at("source.ppm")
rgb.save(ppm)
for tool, args in (("ppmtoilbm", []), ("ppmtoilbm", ["-24force"]), ("ppmtoilbm", ["-nocompress", "-24force"]),
                   ("ppmtopcx", []), ("ppmtopcx", ["-8bit"]), ("ppmtopcx", ["-24bit"]),
                   ("ppmtotga", ["-rgb"]), ("ppmtotga", ["-rgb", "-norle"])):
    ext = {"ppmtoilbm": "iff", "ppmtopcx": "pcx", "ppmtotga": "tga"}[tool]
    path = at("netpbm-%s%s.%s" % (tool, "".join(args), ext))
    with open(ppm, "rb") as src, open(path, "wb") as out:
        r = run([tool] + args, stdout=out, stdin=src)
    if r.returncode != 0:
        fail("%s %s failed: %s" % (tool, " ".join(args), r.stderr.decode(errors="replace")[:200]))
        continue
    # netpbm may reduce the colours; its own reader says what it wrote.
    reader = {"iff": "ilbmtoppm", "pcx": "pcxtoppm", "tga": "tgatoppm"}[ext]
    back = path + ".back.ppm"
    with open(path, "rb") as src, open(back, "wb") as out:
        run([reader], stdout=out, stdin=src)
    check_theirs("netpbm's %s %s" % (tool, " ".join(args)), path, Image.open(back).convert("RGBA"))

# PPM, SGI and Photoshop files from Pillow and ImageMagick.
for depth in (8, 16):
    path = at("im-%d.ppm" % depth)
    run([IM, SOURCE, "-alpha", "off", "-depth", str(depth), path])
    check_theirs("ImageMagick's %d-bit PPM" % depth, path, rgb.convert("RGBA"))
for mode in ("RGB", "RGBA", "L"):
    path = at("pillow-%s.sgi" % mode)
    im = SOURCE_IMAGE.convert(mode)
    im.save(path)
    check_theirs("Pillow's %s SGI" % mode, path, im.convert("RGBA"), alpha=mode == "RGBA")
for args, label in ((["-compress", "RLE"], "RLE"), (["-compress", "None"], "verbatim"),
                    (["-depth", "16"], "16-bit")):
    path = at("im-%s.sgi" % label)
    run([IM, SOURCE] + args + [path])
    check_theirs("ImageMagick's %s SGI" % label, path, SOURCE_IMAGE, alpha=True)
for args, label, alpha in ((["-alpha", "off", "-compress", "RLE"], "8-bit RLE", False),
                           (["-alpha", "off", "-compress", "None"], "8-bit raw", False),
                           (["-alpha", "off", "-depth", "16", "-compress", "RLE"], "16-bit RLE", False),
                           (["-alpha", "off", "-depth", "16", "-compress", "None"], "16-bit raw", False),
                           (["-colorspace", "Gray", "-alpha", "off"], "grey", False),
                           ([], "RGBA", True)):
    path = at("im-%s.psd" % label.replace(" ", "-"))
    run([IM, SOURCE] + args + [path])
    # ImageMagick reads back a layer of its own files, Pillow the composite.
    try:
        reference = by_pillow(path)
    except Exception:
        reference = by_imagemagick(path + "[0]")
    check_theirs("ImageMagick's %s Photoshop file" % label, path, reference, alpha=alpha)

# ---- vq info names every type -------------------------------------------------------
SEEDS = os.path.join(os.environ.get("GLIMVQ_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "..", "..")),
                     "fuzz", "seeds")
named = {at("ours-tga-32-1.tga"): "TGA 61 x 37, 32 bits, alpha yes", at("ours-pcx-8-1.pcx"): "PCX 61 x 37, 8 bits",
         at("ours-iff-24-1.iff"): "IFF 61 x 37, 24 bits", at("ours.trm"): "TRM 61 x 37, 32 bits, alpha yes",
         at("im-16.ppm"): "PPM 61 x 37, 48 bits", at("pillow-RGBA.sgi"): "SGI 61 x 37, 32 bits",
         at("im-8-bit-RLE.psd"): "PSD 61 x 37, 24 bits",
         os.path.join(SEEDS, "softimage", "a.pic"): "Softimage PIC 6 x 4, 32 bits",
         os.path.join(SEEDS, "rla", "a.rla"): "Wavefront RLA 7 x 3, 32 bits",
         os.path.join(SEEDS, "alias_pix", "a.pix"): "Alias PIX 8 x 3, 24 bits"}
for path, words in named.items():
    r = run([VQ, "info", path])
    line = r.stdout.decode(errors="replace")
    if r.returncode == 0 and words in line:
        ok("vq info: " + words)
    else:
        fail("vq info on %s says %r, not %r" % (path, line.strip() or r.stderr.decode(errors="replace"), words))

print("%d passed, %d failed" % (checked, failures))
sys.exit(1 if failures else 0)
