#!/usr/bin/env bash
# vq raytrace: usage, a picture that others read, frames of a key-set animation.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

cat > ball.w3d <<'W3D'
<viewlocation 0 0 -14> <position -5 5 -10> <object light "l">
<keys "x" 1 -3 3 3>
<color 1 0 0> <position x 0 0> <radius 2> <object sphere "ball">
W3D

expect_status 2 -- "$VQ" raytrace
expect_status 2 -- "$VQ" raytrace ball.w3d -o x.png
expect_grep 'size WxH is needed' err.txt
expect_status 2 -- "$VQ" raytrace ball.w3d --size 0x5 -o x.png
expect_status 2 -- "$VQ" raytrace ball.w3d --size 8x8 --aa 5 -o x.png
expect_status 2 -- "$VQ" raytrace ball.w3d --size 8x8 --frame 3 -o x.png
expect_status 2 -- "$VQ" raytrace ball.w3d --size 8x8 --frame 3 --frames 3 -o x.png

expect_status 1 -- "$VQ" raytrace missing.w3d --size 8x8 -o x.png
expect_grep 'Note!: Could not read data' err.txt
expect_grep 'missing.w3d' err.txt
printf '<object sphere>' > bad.w3d
expect_status 1 -- "$VQ" raytrace bad.w3d --size 8x8 -o x.png
expect_grep 'Bad Object Found' err.txt
[ ! -e x.png ] && pass "nothing written on a failed parse" || fail "x.png written"

# One frame: the ball sits left of the middle at frame 0 of 3, right at frame 2.
expect_status 0 -- "$VQ" raytrace ball.w3d --size 64x64 --aa 1 --frame 0 --frames 3 -o f0.png
expect_status 0 -- "$VQ" raytrace ball.w3d --size 64x64 --aa 1 --frame 2 --frames 3 --threads 1 -o f2.png
"$PY" - <<'PY' && pass "frames read back by Pillow" || fail "frames not as expected"
from PIL import Image
a = Image.open("f0.png").convert("RGBA"); b = Image.open("f2.png").convert("RGBA")
assert a.size == (64, 64)
assert a.getpixel((18, 32))[0] > 100 and a.getpixel((46, 32))[0] == 0, (a.getpixel((18, 32)), a.getpixel((46, 32)))
assert b.getpixel((46, 32))[0] > 100 and b.getpixel((18, 32))[0] == 0
assert a.getpixel((0, 0)) == (0, 0, 0, 255)
PY

# Every frame into numbered files; the background shows where rays miss.
expect_status 0 -- "$VQ" raytrace ball.w3d --size 16x16 --frames 3 --background 0,0,255 -o anim.png
for f in anim_000.png anim_001.png anim_002.png; do
  [ -s "$f" ] && pass "$f written" || fail "$f missing"
done
"$PY" -c 'from PIL import Image; assert Image.open("anim_001.png").convert("RGB").getpixel((0, 0)) == (0, 0, 255)' \
  && pass "background kept" || fail "background lost"
# Image maps: a file beside the scene, and the --source image; the picture
# read back by ImageMagick.
mkdir -p scenes/maps
"$PY" -c '
from PIL import Image
im = Image.new("RGB", (8, 1), (255, 0, 0)); im.paste((0, 0, 255), (4, 0, 8, 1)); im.save("scenes/maps/two.png")
Image.new("RGB", (4, 4), (0, 255, 0)).save("green.png")'
cat > scenes/map.w3d <<'W3D'
<lightsource 1> <imagemap "maps/two.png"> <vtx0 -20 -20 0> <vtx1 20 -20 0> <vtx2 -20 20 0> <object rect "r">
W3D
expect_status 0 -- "$VQ" raytrace scenes/map.w3d --size 32x8 -o map.bmp
[ "$(convert map.bmp -format '%[pixel:p{6,4}] %[pixel:p{26,4}]' info:)" = "srgb(255,0,0) srgb(0,0,255)" ] \
  && pass "image map beside the scene" || fail "image map: $(convert map.bmp -format '%[pixel:p{6,4}] %[pixel:p{26,4}]' info:)"
sed -i 's|maps/two.png|Source|' scenes/map.w3d
expect_status 0 -- "$VQ" raytrace scenes/map.w3d --size 8x8 --source green.png -o src.png
"$PY" -c 'from PIL import Image; assert Image.open("src.png").convert("RGB").getpixel((4, 4)) == (0, 255, 0)' \
  && pass "source map" || fail "source map"
expect_status 1 -- "$VQ" raytrace scenes/map.w3d --size 8x8 --source missing.png -o src.png
expect_status 2 -- "$VQ" raytrace scenes/map.w3d --size 8x8 -o noext

# The Ray Trace operation over an existing picture: misses keep the background.
expect_status 0 -- "$VQ" new 64x64 bg.png --color 20,40,80
expect_status 0 -- "$VQ" apply bg.png op.png "Ray Trace" aa=1 folder="$TEST_TMP" scene=ball.w3d
"$PY" -c '
from PIL import Image
im = Image.open("op.png").convert("RGB")
assert im.getpixel((1, 1)) == (20, 40, 80), im.getpixel((1, 1))
assert im.getpixel((46, 32))[0] > 100, im.getpixel((46, 32))' && pass "Ray Trace over a picture" || fail "Ray Trace over a picture"
expect_status 0 -- "$VQ" apply bg.png op2.png RAYTRACE 0 "$TEST_TMP" ball.w3d
expect_status 1 -- "$VQ" apply bg.png op3.png "Ray Trace" folder="$TEST_TMP" scene=missing.w3d
expect_grep 'Could not read data' err.txt
[ ! -e op3.png ] && pass "nothing written when the scene is missing" || fail "op3.png written"
finish
