#!/usr/bin/env bash
# vq particles and the Particles operation: usage, failures with the file's
# name, frames that move and read back by Pillow, one frame the same as the
# same frame of a sequence, and vq apply drawing what vq particles draws.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3
DATA="$GLIMVQ_SOURCE_DIR/data/particles"

expect_status 2 -- "$VQ" particles
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" -o x.png
expect_grep 'size WxH is needed' err.txt
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" --size 32x32
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" --size 32x32 --frames 0 -o x.png
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" --size 32x32 --frame -1 -o x.png
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" --size 32x32 --frames 2 -o 'x%s%d.png'
expect_status 2 -- "$VQ" particles "$DATA/fountain.psy" --size 32x32 -o x.unknown

expect_status 1 -- "$VQ" particles missing.psy --size 8x8 -o x.png
expect_grep 'PSL Error #2 - Particle System Creation Failed' err.txt
expect_grep 'missing.psy: No such file or directory' err.txt
printf 'vqpsystem 1\nforcecount 2\n\nforce 1\nforce 2\nforce 3\n' > three.psy
expect_status 1 -- "$VQ" particles three.psy --size 8x8 -o x.png
expect_grep 'PSL Error #10' err.txt
printf 'vqpsystem 1\npalette no|such|palette.pal\n' > nopal.psy
expect_status 1 -- "$VQ" particles nopal.psy --size 8x8 -o x.png
expect_grep 'no such palette.pal' err.txt
[ ! -e x.png ] && pass "nothing written on a failure" || fail "x.png written"

# Thirty frames that all differ, each named on stdout and read by Pillow.
expect_status 0 -- "$VQ" particles "$DATA/fountain.psy" --size 320x240 --frames 30 -o 'out%04d.png'
[ "$(wc -l < out.txt)" -eq 30 ] && pass "30 names printed" || fail "$(wc -l < out.txt) names printed"
[ "$(md5sum out00*.png | awk '{print $1}' | sort -u | wc -l)" -eq 30 ] \
  && pass "30 different frames" || fail "frames repeat"
# One frame on its own is the same picture as that frame of the sequence.
expect_status 0 -- "$VQ" particles "$DATA/fountain.psy" --size 320x240 --frame 12 -o single.png
"$PY" - <<'PY' && pass "frames read back by Pillow; frame 12 alone = frame 12 of 30" || fail "frames not as expected"
from PIL import Image
a = Image.open("out0012.png").convert("RGBA"); b = Image.open("single.png").convert("RGBA")
assert a.size == (320, 240)
assert a.tobytes() == b.tobytes()
assert a.getpixel((0, 0)) == (0, 0, 0, 255)
# The fountain's water rises from below the middle.
lit = sum(1 for y in range(240) for x in range(320) if a.getpixel((x, y))[2] > 60)
assert lit > 1000, lit
PY

# Without a pattern the number goes before the extension; a start frame.
expect_status 0 -- "$VQ" particles "$DATA/snow.psy" --size 64x48 --frame 5 --frames 2 --background 10,20,40 -o snow.bmp
[ -s snow_0005.bmp ] && [ -s snow_0006.bmp ] && pass "snow_0005.bmp and snow_0006.bmp" || fail "numbered names"

# vq apply draws frame 0 of the system over the image it is given.
expect_status 0 -- "$VQ" new 160x120 black.png --color 0,0,0,255
expect_status 0 -- "$VQ" apply black.png applied.png Particles "file=$DATA/vortex.psy" --save-settings vortex.vqs
expect_status 0 -- "$VQ" apply black.png keyword.png PARTICLES "$DATA/vortex.psy"
expect_status 0 -- "$VQ" particles "$DATA/vortex.psy" --size 160x120 -o direct.png
"$PY" - <<'PY' && pass "vq apply Particles = vq particles at frame 0" || fail "vq apply differs"
from PIL import Image
a, b, c = (Image.open(n).convert("RGBA").tobytes() for n in ("applied.png", "keyword.png", "direct.png"))
assert a == b == c
assert a != Image.new("RGBA", (160, 120), (0, 0, 0, 255)).tobytes()
PY
# Without a file the one kept in the preferences (by --save-settings) is
# drawn; with fresh preferences there is none.
expect_status 0 -- "$VQ" apply black.png again.png Particles
cmp -s again.png applied.png && pass "the last file from the preferences" || fail "again.png differs"
expect_status 1 -- "$VQ" --home "$TEST_TMP/fresh" apply black.png none.png Particles
expect_grep 'No particle-system file is given' err.txt


# OUT ending in .gif: one looping animation, read by Pillow and ImageMagick.
expect_status 0 -- "$VQ" particles "$DATA/fountain.psy" --size 160x120 --frames 12 --delay 5 -o fountain.gif
[ "$(cat out.txt)" = fountain.gif ] && [ ! -e fountain_0000.gif ] && pass "one GIF named" || fail "GIF names"
[ "$(identify fountain.gif | wc -l)" -eq 12 ] && pass "ImageMagick reads 12 frames" || fail "frames in GIF"
"$PY" - <<'PY' && pass "Pillow: 12 different frames, 50 ms apart, looping" || fail "GIF not as expected"
from PIL import Image, ImageSequence
im = Image.open("fountain.gif")
assert im.n_frames == 12 and im.info.get("loop") == 0, (im.n_frames, im.info)
frames = [f.convert("RGB").tobytes() for f in ImageSequence.Iterator(im)]
assert len(set(frames)) == 12
assert Image.open("fountain.gif").info.get("duration") == 50
PY
# A system that fails leaves no GIF behind.
expect_status 1 -- "$VQ" particles three.psy --size 8x8 --frames 3 -o bad.gif
[ ! -e bad.gif ] && pass "no GIF on a failure" || fail "bad.gif written"

# The other animations and the film file go through the same writers as a
# generated sequence; each frame equals the numbered frame drawn alone.
expect_status 0 -- "$VQ" particles "$DATA/snow.psy" --size 64x48 --frame 3 --frames 5 -o snow.flm
[ "$(cat out.txt)" = snow.flm ] && pass "one film named" || fail "film names"
expect_status 0 -- "$VQ" film info snow.flm
expect_grep '^snow.flm: film strip, 64 x 48, 5 frames$' out.txt
expect_status 0 -- "$VQ" film frames snow.flm snow-film
expect_status 0 -- "$VQ" particles "$DATA/snow.psy" --size 64x48 --frame 5 -o alone.png
"$PY" - <<'PY' && pass "film frame 3 is frame 5 of the system" || fail "film frame differs from the frame drawn alone"
from PIL import Image
a = Image.open("alone.png").convert("RGB").tobytes()
assert a == Image.open("snow-film/f0003.png").convert("RGB").tobytes()
assert a != Image.open("snow-film/f0002.png").convert("RGB").tobytes()
PY
expect_status 0 -- "$VQ" particles "$DATA/snow.psy" --size 64x48 --frame 3 --frames 5 -o snow.flc
expect_status 0 -- "$VQ" film frames snow.flc snow-flc
[ "$(ls snow-flc | wc -l)" -eq 5 ] && pass "5 FLC frames" || fail "frames in FLC"
ffmpeg -v error -y -i snow.flc -frames:v 5 -pix_fmt rgb24 snow-flc-%d.png && [ -s snow-flc-5.png ] \
    && pass "ffmpeg decodes the FLC" || fail "ffmpeg cannot decode the FLC"
expect_status 0 -- "$VQ" particles "$DATA/snow.psy" --size 64x48 --frames 4 -o snow.mng
[ "$(identify snow.mng 2>/dev/null | wc -l)" -eq 4 ] && pass "ImageMagick reads 4 MNG frames" || fail "frames in MNG"

finish
