#!/usr/bin/env bash
# vq apply: operations of the catalogue on image files, checked against
# what Pillow computes and reads.
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
rgba = Image.new('RGBA', (4, 2), (10, 20, 30, 200))
rgba.putpixel((0, 0), (10, 20, 30, 0))
rgba.save('alpha.png')
EOF

same() {  # same A B: the two files hold the same colours
  "$PY" -c "
import sys
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert('RGBA'); b = Image.open(sys.argv[2]).convert('RGBA')
sys.exit(0 if a.size == b.size and ImageChops.difference(a, b).getbbox() is None else 1)" "$1" "$2"
}

# Negative is what Pillow's invert makes.
expect_status 0 -- "$VQ" apply in.png neg.png negative
"$PY" -c "
from PIL import Image, ImageOps
ImageOps.invert(Image.open('in.png').convert('RGB')).save('pil-neg.png')"
same neg.png pil-neg.png && pass "Negative equals Pillow's invert" || fail "Negative differs from Pillow's invert"

# Brightness -100 by its script command: everything black.
expect_status 0 -- "$VQ" apply in.png black.png BRIGHT -100
"$PY" -c "
from PIL import Image
import sys
sys.exit(0 if Image.open('black.png').convert('RGB').getextrema() == ((0, 0), (0, 0), (0, 0)) else 1)" \
  && pass "Brightness -100 is black" || fail "Brightness -100 not black"

# A refusal: the system's message, status 1, nothing written.
expect_status 1 -- "$VQ" apply in.png same.png contrast 0
expect_grep 'The settings for this operation will produce no change\.' err.txt
[ ! -e same.png ] && pass "no output after a refusal" || fail "output written after a refusal"

# Values outside the typed range, unknown names, operations not yet available.
expect_status 2 -- "$VQ" apply in.png x.png gamma 100000
expect_grep 'Gamma: amount must lie in -99999\.\.99999, not 100000' err.txt
expect_status 2 -- "$VQ" apply in.png x.png negative mode=2.5
expect_grep 'mode takes a whole number' err.txt
expect_status 2 -- "$VQ" apply in.png x.png negative 1 1 1 1 1
expect_grep 'one too many' err.txt
expect_status 2 -- "$VQ" apply in.png x.png "no such thing"
unwritten=$("$VQ" ops | awk '/ not available$/ && !n { print $1; n = 1 }')
if [ -n "$unwritten" ]; then
  expect_status 1 -- "$VQ" apply in.png x.png "$unwritten"
  expect_grep 'cannot be applied' err.txt
fi
expect_status 2 -- "$VQ" apply in.png x.png
expect_status 1 -- "$VQ" apply missing.png x.png negative
[ ! -e x.png ] && pass "no output after failures" || fail "output written after a failure"

# Chains: False Color three times gives the picture back.
expect_status 0 -- "$VQ" apply in.png ff.png falsec --then "false color" --then 3714
same ff.png in.png && pass "False Color x3 is the identity" || fail "False Color x3 changed the picture"

# Settings files: saved with one run, read by the next.
expect_status 0 -- "$VQ" apply in.png g1.png gamma 80 --save-settings g.VQS
expect_grep '^Gamma: 80$' g.VQS
expect_status 0 -- "$VQ" apply in.png g2.png gamma --settings g.VQS
same g1.png g2.png && pass "settings file reproduces the run" || fail "settings file run differs"
expect_status 1 -- "$VQ" apply in.png g3.png gamma --settings nothere.VQS
expect_grep 'Could not open the requested file\. nothere\.VQS' err.txt

# Remap by keys, with palettes.
"$PY" -c "
from PIL import Image
Image.new('RGB', (2, 1), (250, 5, 5)).save('red.png')"
expect_status 0 -- "$VQ" apply red.png blue.png remap tolerance=20 from=255,0,0 to=0,0,255
"$PY" -c "
from PIL import Image
import sys
sys.exit(0 if Image.open('blue.png').convert('RGB').getpixel((1, 0)) == (0, 5, 255) else 1)" \
  && pass "Remap moves red to blue keeping detail" || fail "Remap result"
expect_status 2 -- "$VQ" apply red.png x.png remap from=300,0,0
expect_grep 'not a colour' err.txt

# Alpha mode: only alpha changes; transparent colour counts as black.
expect_status 0 -- "$VQ" apply alpha.png alpha-neg.png negative --alpha-mode 1 --with-alpha 0
"$PY" -c "
from PIL import Image
import sys
im = Image.open('alpha-neg.png').convert('RGBA')
sys.exit(0 if im.getpixel((0, 0)) == (10, 20, 30, 255) and im.getpixel((1, 0)) == (10, 20, 30, 55) else 1)" \
  && pass "alpha mode negates alpha only" || fail "alpha mode result"

# Histogram measuring prints the channels and leaves the picture alone.
expect_status 0 -- "$VQ" apply in.png h.png histogram measure=1
expect_grep '^Histogram of 128 pixels' out.txt
expect_grep '^  red   min   0  max 240' out.txt
same h.png in.png && pass "measuring changes nothing" || fail "measuring changed the picture"
finish
