#!/usr/bin/python3
"""BMP, PNG, JPEG and TIFF files checked against independent programs.

Files that ImageMagick, netpbm and Pillow write, in every depth and header
form they offer, must load in vq with the pixels those programs read back;
the files vq writes must load in those programs with vq's pixels (JPEG
within its loss).  Run by cross_check.sh with Debian's /usr/bin/python3.
"""
import os
import subprocess
import sys

from PIL import Image

VQ = os.environ["VQ"]
IM = "/usr/bin/convert"  # ImageMagick itself, whatever else is on PATH
failures = 0
checked = 0


def run(cmd, stdout=None):
    return subprocess.run(cmd, stdout=stdout or subprocess.PIPE, stderr=subprocess.PIPE)


def fail(text):
    global failures
    failures += 1
    print("FAIL: " + text)


def ok(text):
    global checked
    checked += 1
    print("ok: " + text)


# ---- decoders ------------------------------------------------------------------

def by_vq(path):
    """The pixels vq loads, as RGBA, through a 32-bit PNG it writes."""
    out = path + ".vq.png"
    r = run([VQ, "convert", path, out, "--type", "png", "--depth", "32"])
    if r.returncode != 0:
        return None, r.stderr.decode(errors="replace").strip()
    return Image.open(out).convert("RGBA"), ""


def by_pillow(path):
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B"):  # 16-bit grey: the high byte, as vq keeps it
        im = im.point(lambda v: v / 256).convert("L")
    return im.convert("RGBA")


def by_imagemagick(path):
    # Raw samples: ImageMagick's own PNG output can mark a stray pixel of a
    # palette image transparent.
    out = path + ".im.rgba"
    r = run([IM, path, "-depth", "8", "rgba:" + out])
    size = run(["/usr/bin/identify", "-format", "%w %h\n", path])
    if r.returncode != 0 or size.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace").strip())
    width, height = map(int, size.stdout.split(b"\n")[0].split())
    return Image.frombytes("RGBA", (width, height), open(out, "rb").read())


def by_netpbm(path):
    """bmptopnm, pngtopam, jpegtopnm or tifftopnm, as the name says."""
    ext = path.rsplit(".", 1)[-1].lower()
    tool = {"bmp": ["bmptopnm"], "png": ["pngtopam"], "jpg": ["jpegtopnm"], "tif": ["tifftopnm"]}[ext]
    rgb_path = path + ".nb.pnm"
    with open(rgb_path, "wb") as f:
        r = run(tool + [path], stdout=f)
    if r.returncode != 0:
        raise RuntimeError(r.stderr.decode(errors="replace").strip())
    im = pnm_8bit(rgb_path).convert("RGBA")
    if ext in ("png", "tif"):
        alpha_path = path + ".nb-alpha.pgm"
        with open(alpha_path, "wb") as f:
            opt = ["-alpha"] if ext == "png" else ["-alphaout=" + alpha_path]
            r = run(tool + opt + [path], stdout=f if ext == "png" else subprocess.DEVNULL)
        if r.returncode == 0 and os.path.getsize(alpha_path) > 0:
            im.putalpha(pnm_8bit(alpha_path).convert("L"))
    return im


def pnm_8bit(path):
    """A PNM of any maxval as an 8-bit image (the high byte of 16-bit samples)."""
    im = Image.open(path)
    im.load()
    if im.mode in ("I", "I;16", "I;16B"):
        im = im.point(lambda v: v / 256).convert("L")
    return im


def difference(a, b, alpha=True):
    """(largest, mean) absolute channel difference; None when the sizes differ."""
    if a.size != b.size:
        return None
    pa, pb = a.tobytes(), b.tobytes()
    step = 4 if alpha else 3
    worst = total = count = 0
    for i in range(0, len(pa), 4):
        for c in range(step):
            d = abs(pa[i + c] - pb[i + c])
            worst = max(worst, d)
            total += d
            count += 1
    return worst, total / max(count, 1)


def expect_same(what, ours, theirs, tolerance=0, alpha=True, mean_limit=None):
    d = difference(ours, theirs, alpha)
    if d is None:
        fail("%s: size %s, wanted %s" % (what, ours.size, theirs.size))
    elif d[0] > tolerance and (mean_limit is None or d[1] > mean_limit):
        fail("%s: pixels differ by up to %d (mean %.2f)" % (what, d[0], d[1]))
    else:
        ok(what)


# ---- test images -----------------------------------------------------------------

W, H = 37, 23  # odd sizes exercise the row padding


def source_rgb():
    im = Image.new("RGB", (W, H))
    im.putdata([((x * 7) % 256, (y * 11) % 256, (x * y * 3) % 256) for y in range(H) for x in range(W)])
    return im


def source_rgba():
    im = source_rgb().convert("RGBA")
    im.putalpha(Image.frombytes("L", (W, H), bytes((x * 9 + y) % 256 for y in range(H) for x in range(W))))
    return im


def load_theirs(path, reader):
    try:
        return reader(path)
    except Exception as e:  # the other program cannot read it: no reference
        print("skip: %s (%s)" % (path, e))
        return None


def check_their_file(path, reader, tolerance=0):
    theirs = load_theirs(path, reader)
    if theirs is None:
        return
    ours, err = by_vq(path)
    if ours is None:
        fail("%s: vq refused it: %s" % (path, err))
        return
    expect_same("vq reads %s as %s does" % (path, reader.__name__[3:]), ours, theirs, tolerance)


def their_files():
    src = source_rgb()
    src.save("src.png")
    src.save("src.ppm")
    src.quantize(200).convert("RGB").save("src200.ppm")
    src.quantize(16).convert("RGB").save("src16.ppm")
    src.convert("1").convert("RGB").save("src2.ppm")
    source_rgba().save("srca.png")

    # ImageMagick: every BMP form it writes, and its PNG forms.
    im_bmp = {
        "im_v3_24.bmp": ["src.png", "-type", "TrueColor", "BMP3:"],
        "im_v3_8.bmp": ["src.png", "-colors", "200", "-type", "Palette", "BMP3:"],
        "im_v3_4.bmp": ["src.png", "-colors", "16", "-type", "Palette", "BMP3:"],
        "im_v3_1.bmp": ["src.png", "-monochrome", "BMP3:"],
        "im_v3_rle8.bmp": ["src.png", "-colors", "200", "-type", "Palette", "-compress", "RLE", "BMP3:"],
        "im_os2_24.bmp": ["src.png", "-type", "TrueColor", "BMP2:"],
        "im_os2_8.bmp": ["src.png", "-colors", "200", "-type", "Palette", "BMP2:"],
        "im_v5_24.bmp": ["src.png", "-type", "TrueColor", "BMP:"],
        "im_v5_555.bmp": ["src.png", "-define", "bmp:subtype=RGB555", "BMP:"],
    }
    for name, args in im_bmp.items():
        r = run([IM] + args[:-1] + [args[-1] + name])
        if r.returncode != 0:
            print("skip: ImageMagick cannot write %s" % name)
            continue
        # The 5-5-5 samples widen by a shift; other readers scale them.
        check_their_file(name, by_vq_555_reference if name.endswith("555.bmp") else by_imagemagick)
    im_png = {
        "im_png8.png": ["src.png", "-colors", "200", "PNG8:"],
        "im_png24.png": ["src.png", "PNG24:"],
        "im_png32.png": ["srca.png", "PNG32:"],
        "im_png48.png": ["src.png", "PNG48:"],
        "im_png64.png": ["srca.png", "PNG64:"],
        "im_grey.png": ["src.png", "-colorspace", "Gray", "-type", "Grayscale", "PNG:"],
        "im_grey_alpha.png": ["srca.png", "-colorspace", "Gray", "-type", "GrayscaleAlpha", "PNG:"],
        "im_interlaced.png": ["srca.png", "-interlace", "PNG", "PNG32:"],
    }
    for name, args in im_png.items():
        run([IM] + args[:-1] + [args[-1] + name])
        check_their_file(name, by_pillow, tolerance=1 if "48" in name or "64" in name else 0)

    # netpbm: Windows and OS/2 bitmaps at each depth, PNGs of each kind.
    for form in ("windows", "os2"):
        for bpp, src in ((24, "src.ppm"), (8, "src200.ppm"), (4, "src16.ppm"), (1, "src2.ppm")):
            name = "nb_%s_%d.bmp" % (form, bpp)
            with open(name, "wb") as f:
                run(["ppmtobmp", "-" + form, "-bpp", str(bpp), src], stdout=f)
            check_their_file(name, by_netpbm)
    Image.open("srca.png").getchannel("A").save("alpha.pgm")
    Image.open("src.png").convert("L").save("grey.pgm")
    src16 = "src16bit.ppm"
    with open(src16, "wb") as f:
        run(["pamdepth", "65535", "src.ppm"], stdout=f)
    netpbm_png = {
        "nb_rgb.png": ["pnmtopng", "src.ppm"],
        "nb_palette.png": ["pnmtopng", "src200.ppm"],
        "nb_grey.png": ["pnmtopng", "grey.pgm"],
        "nb_alpha.png": ["pnmtopng", "-alpha=alpha.pgm", "src.ppm"],
        "nb_16bit.png": ["pnmtopng", src16],
        "nb_interlaced.png": ["pnmtopng", "-interlace", "src.ppm"],
        "nb_bw.png": ["pnmtopng", "src2.ppm"],
    }
    for name, cmd in netpbm_png.items():
        with open(name, "wb") as f:
            run(cmd, stdout=f)
        check_their_file(name, by_netpbm)

    # Pillow: each mode it writes as BMP and PNG.
    rgb, rgba = source_rgb(), source_rgba()
    modes = {
        "1": rgb.convert("1"),
        "L": rgb.convert("L"),
        "P": rgb.quantize(200),
        "RGB": rgb,
    }
    for mode, im in modes.items():
        name = "pil_%s.bmp" % mode
        im.save(name)
        check_their_file(name, by_pillow)
    pmodes = dict(modes)
    pmodes["LA"] = rgba.convert("LA")
    pmodes["RGBA"] = rgba
    pmodes["I16"] = rgb.convert("L").point(lambda v: v * 257).convert("I")
    for mode, im in pmodes.items():
        name = "pil_%s.png" % mode
        im.save(name)
        check_their_file(name, by_pillow)
    pt = rgb.quantize(200)
    pt.info["transparency"] = 5
    pt.save("pil_P_trns.png", transparency=5)
    check_their_file("pil_P_trns.png", by_pillow)

    # TIFF and JPEG files go through the system's own libraries.
    tmodes = {"L": rgb.convert("L"), "P": rgb.quantize(200), "RGB": rgb, "RGBA": rgba, "1": rgb.convert("1"),
              "LA": rgba.convert("LA")}
    for mode, im in tmodes.items():
        for compression in ("raw", "tiff_lzw", "tiff_adobe_deflate"):
            name = "pil_%s_%s.tif" % (mode, compression)
            im.save(name, compression=compression)
            check_their_file(name, by_pillow)
    im_tiff = {
        "im_tiled.tif": ["src.png", "-define", "tiff:tile-geometry=16x16", "TIFF:"],
        "im_16bit.tif": ["src.png", "-depth", "16", "TIFF:"],
        "im_bottom.tif": ["src.png", "-orient", "BottomLeft", "TIFF:"],
        "im_planar.tif": ["srca.png", "-interlace", "Plane", "TIFF:"],
        "im_cmyk.tif": ["src.png", "-colorspace", "CMYK", "TIFF:"],
    }
    for name, args in im_tiff.items():
        run([IM] + args[:-1] + [args[-1] + name])
        # 16-bit samples keep their high byte; ImageMagick rounds; CMYK conversions differ by rounding.
        check_their_file(name, by_imagemagick, tolerance=2 if "16" in name or "cmyk" in name else 0)
    im_jpeg = {
        "im_baseline.jpg": ["src.png", "-quality", "85", "JPG:"],
        "im_progressive.jpg": ["src.png", "-interlace", "Plane", "JPG:"],
        "im_grey.jpg": ["src.png", "-colorspace", "Gray", "JPG:"],
        "im_cmyk.jpg": ["src.png", "-colorspace", "CMYK", "JPG:"],
        "im_444.jpg": ["src.png", "-sampling-factor", "1x1", "JPG:"],
    }
    for name, args in im_jpeg.items():
        run([IM] + args[:-1] + [args[-1] + name])
        check_their_file(name, by_pillow, tolerance=2)
    rgb.save("pil_exif.jpg", exif=Image.Exif())
    check_their_file("pil_exif.jpg", by_pillow)


def by_vq_555_reference(path):
    """What a 5-5-5 bitmap holds, each sample shifted left by 3, from its bytes."""
    data = open(path, "rb").read()
    offset = int.from_bytes(data[10:14], "little")
    width = int.from_bytes(data[18:22], "little", signed=True)
    height = int.from_bytes(data[22:26], "little", signed=True)
    stride = (2 * width + 3) // 4 * 4
    im = Image.new("RGBA", (width, height))
    pixels = []
    for y in range(height):
        row = offset + (height - 1 - y) * stride
        for x in range(width):
            v = int.from_bytes(data[row + 2 * x:row + 2 * x + 2], "little")
            pixels.append((((v >> 10) & 31) << 3, ((v >> 5) & 31) << 3, (v & 31) << 3, 255))
    im.putdata(pixels)
    return im


# ---- our files in their readers ---------------------------------------------------

def our_files():
    rgb, rgba = Image.open("src.png").convert("RGBA"), Image.open("srca.png").convert("RGBA")
    readers = {
        "bmp": (by_pillow, by_imagemagick, by_netpbm),
        "png": (by_pillow, by_imagemagick, by_netpbm),
        "jpg": (by_pillow, by_imagemagick, by_netpbm),
        "tif": (by_pillow, by_imagemagick, by_netpbm),
    }
    cases = [
        # name, source, save options, what the file must hold (None: what vq reads back)
        ("vq_24.bmp", "src.png", [], rgb, True),
        # vq writes 32-bit bitmaps with alpha but does not decode them.
        ("vq_32.bmp", "srca.png", ["--depth", "32"], rgba, False),
        ("vq_24.png", "src.png", [], rgb, True),
        ("vq_32.png", "srca.png", [], rgba, True),
        ("vq_none.tif", "srca.png", ["--compress", "0"], rgba, True),
        ("vq_lzw.tif", "src.png", ["--compress", "1"], rgb, True),
        ("vq_deflate.tif", "srca.png", ["--compress", "2"], rgba, True),
        ("vq_q90.jpg", "src.png", ["--quality", "90"], None, True),
        ("vq_8.bmp", "src.png", ["--depth", "8"], None, True),
        ("vq_4.bmp", "src.png", ["--depth", "4"], None, True),
        ("vq_1.bmp", "src.png", ["--depth", "1"], None, True),
        ("vq_8.png", "src.png", ["--depth", "8"], None, True),
        ("vq_4.png", "src.png", ["--depth", "4"], None, True),
        ("vq_1.png", "src.png", ["--depth", "1"], None, True),
    ]
    for name, src, options, expected, compare_alpha in cases:
        r = run([VQ, "convert", src, name] + options)
        if r.returncode != 0:
            err = r.stderr.decode(errors="replace")
            if "needs the colour reduction" in err:
                print("skip: %s (this build has no colour reduction)" % name)
                continue
            fail("vq cannot write %s: %s" % (name, err.strip()))
            continue
        ours, err = by_vq(name)
        if ours is None:
            fail("vq cannot read its own %s: %s" % (name, err))
            continue
        if name == "vq_32.bmp":
            ours = expected
        elif expected is not None:
            expect_same("vq reads its %s back" % name, ours, expected)
        elif name.endswith(".jpg"):
            expect_same("%s within JPEG's loss" % name, ours, rgb, tolerance=40, alpha=False, mean_limit=4)
        for reader in readers[name.rsplit(".", 1)[-1]]:
            theirs = load_theirs(name, reader)
            if theirs is None:
                fail("%s cannot read %s" % (reader.__name__[3:], name))
                continue
            # Others read the fourth byte of a 32-bit bitmap in their own ways.
            tolerance = 2 if name.endswith(".jpg") else 0
            want = ours
            if reader is by_netpbm and name.endswith(".tif"):
                # tifftopnm puts the colours over black.
                want, tolerance = over_black(ours), 1
            expect_same("%s reads %s as vq does" % (reader.__name__[3:], name), theirs, want, tolerance,
                        alpha=compare_alpha)


def over_black(im):
    px = im.tobytes()
    out = bytearray(px)
    for i in range(0, len(px), 4):
        a = px[i + 3]
        for c in range(3):
            out[i + c] = (px[i + c] * a + 127) // 255
    return Image.frombytes("RGBA", im.size, bytes(out))


def main():
    their_files()
    our_files()
    print("%d checks, %d failures" % (checked, failures))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
