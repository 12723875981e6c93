#!/usr/bin/env bash
# vq apply with the Geom Group: all twenty run by position and by name, in
# chains and within an area file; rolls, flips and turns checked against
# Pillow's own.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

"$PY" - <<'EOF'
from PIL import Image
im = Image.new('RGB', (16, 8))
px = im.load()
for x in range(16):
    for y in range(8):
        px[x, y] = (x * 16, y * 32, (x * y * 7) % 256)
im.save('in.png')
EOF

same() {  # same A B: the two files hold the same colours
  "$PY" -c "
import sys
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert('RGBA'); b = Image.open(sys.argv[2]).convert('RGBA')
sys.exit(0 if a.size == b.size and ImageChops.difference(a, b).getbbox() is None else 1)" "$1" "$2"
}
size() { "$PY" -c "import sys; from PIL import Image; print(*Image.open(sys.argv[1]).size)" "$1"; }

# The catalogue lists the twenty as available.
expect_status 0 -- "$VQ" ops Geom
[ "$(grep -c ' available$' out.txt)" -eq 20 ] && pass "vq ops Geom: twenty available" \
  || fail "vq ops Geom: $(grep -c ' available$' out.txt) available"

# Every one with its defaults, by name, by script command and by number.
while read -r name; do
  expect_status 0 -- "$VQ" apply in.png "out-${name//[ \/]/_}.png" "$name" --then "$name"
done <<'EOF'
Dome
CARIC
Swirl
waves
Radial Wave
TURBULENCE
Surface Warp
Kaleidoscope
3221
Shear
Bend
Mirror
Polar/Rec
WONK
Circe
Melt
Flip
Turn 90
Rotate
Perspective
EOF
[ "$(size out-Turn_90.png)" = "16 8" ] && pass "two quarter turns keep 16 x 8" || fail "Turn 90 x2 size"

# Roll by position and by name is Pillow's offset; by the width it is nothing.
expect_status 0 -- "$VQ" apply in.png roll-a.png roll 3 -2 0
expect_status 0 -- "$VQ" apply in.png roll-b.png roll dy=-2 dx=3
"$PY" -c "
from PIL import Image, ImageChops
ImageChops.offset(Image.open('in.png'), -3, 2).save('pil-roll.png')"
same roll-a.png pil-roll.png && pass "Roll 3 -2 is Pillow's offset" || fail "Roll differs from Pillow's offset"
same roll-a.png roll-b.png && pass "values by name as by position" || fail "by name differs"
expect_status 0 -- "$VQ" apply in.png roll-w.png roll 16 8
same roll-w.png in.png && pass "Roll by the size changes nothing" || fail "Roll by the size changed the picture"

# Flips and turns against Pillow's transposes.
expect_status 0 -- "$VQ" apply in.png flip-h.png flip 1 0
expect_status 0 -- "$VQ" apply in.png flip-v.png FLIP horizontal=0 vertical=1
expect_status 0 -- "$VQ" apply in.png turn-cw.png "turn 90" 0
expect_status 0 -- "$VQ" apply in.png turn-ccw.png TURN90 direction=1
expect_status 0 -- "$VQ" apply in.png rot-180.png rotate 180 0
"$PY" -c "
from PIL import Image
im = Image.open('in.png')
im.transpose(Image.Transpose.FLIP_LEFT_RIGHT).save('pil-h.png')
im.transpose(Image.Transpose.FLIP_TOP_BOTTOM).save('pil-v.png')
im.transpose(Image.Transpose.ROTATE_270).save('pil-cw.png')
im.transpose(Image.Transpose.ROTATE_90).save('pil-ccw.png')
im.transpose(Image.Transpose.ROTATE_180).save('pil-180.png')"
same flip-h.png pil-h.png && pass "Flip 1 0 mirrors" || fail "Flip 1 0"
same flip-v.png pil-v.png && pass "Flip 0 1 flips" || fail "Flip 0 1"
same turn-cw.png pil-cw.png && pass "Turn 90 clockwise" || fail "Turn 90 clockwise"
same turn-ccw.png pil-ccw.png && pass "Turn 90 anticlockwise" || fail "Turn 90 anticlockwise"
same rot-180.png pil-180.png && pass "Rotate 180" || fail "Rotate 180"
[ "$(size turn-cw.png)" = "8 16" ] && pass "Turn 90 makes 16 x 8 into 8 x 16" || fail "Turn 90 size"

# Chains: Flip twice, four quarter turns and a grown 90° rotation then an
# anticlockwise quarter turn all give the picture back.
expect_status 0 -- "$VQ" apply in.png chain1.png flip 1 1 --then flip 1 1
same chain1.png in.png && pass "Flip twice" || fail "Flip twice changed the picture"
expect_status 0 -- "$VQ" apply in.png chain2.png turn90 --then turn90 --then turn90 --then turn90
same chain2.png in.png && pass "Turn 90 four times" || fail "Turn 90 four times"
expect_status 0 -- "$VQ" apply in.png chain3.png rotate angle=90 grow=1 --then turn90 1
same chain3.png in.png && pass "Rotate 90 grown, then back" || fail "Rotate 90 then Turn 90 back"

# Within an area: only the rectangle 4,2 - 12,6 is mirrored, about its middle.
cat > rect.asf <<'EOF'
AREASELECT Glimmerix:V/q File

TranLevel:    0
TranEdge:     0
TranGrow:     0

Mode: RECT
Size:   16    8
Pos:    8    4
Rad:    4    2
Feather:    0
EOF
expect_status 0 -- "$VQ" apply in.png area-flip.png flip 1 0 --area rect.asf
"$PY" -c "
from PIL import Image
im = Image.open('in.png')
box = (4, 2, 13, 7)
im.paste(im.crop(box).transpose(Image.Transpose.FLIP_LEFT_RIGHT), box)
im.save('pil-area.png')"
same area-flip.png pil-area.png && pass "Flip within an area" || fail "Flip within an area"
for op in swirl dome waves mirror circe rotate perspective "turn 90"; do
  expect_status 0 -- "$VQ" apply in.png area-op.png "$op" --area rect.asf
done

# Refusals and ranges: the parameter's name and its range; nothing written.
expect_status 1 -- "$VQ" apply in.png no.png swirl 0
expect_grep 'The settings for this operation will produce no change\.' err.txt
expect_status 2 -- "$VQ" apply in.png no.png swirl 100000
expect_grep 'Swirl: amount must lie in -99999\.\.99999, not 100000' err.txt
expect_status 2 -- "$VQ" apply in.png no.png shear amount=nan
expect_status 2 -- "$VQ" apply in.png no.png perspective tl_x=5000
expect_grep 'Perspective: tl_x must lie in -1000\.\.1000' err.txt
expect_status 1 -- "$VQ" apply in.png no.png perspective 0 0 30 30 60 60 100 100
expect_status 2 -- "$VQ" apply in.png no.png wonk 1
[ ! -e no.png ] && pass "no output after refusals" || fail "output written after a refusal"

# A 1 x 1 image: every operation of the group either works or refuses.
"$PY" -c "from PIL import Image; Image.new('RGB', (1, 1), (9, 8, 7)).save('one.png')"
while read -r word name; do
  got=0
  "$VQ" apply one.png one-out.png "$name" >out.txt 2>err.txt || got=$?
  [ "$got" -le 1 ] && pass "1 x 1: $name ($got)" || fail "1 x 1: $name gave $got"
done < <("$VQ" ops Geom --names)
finish
