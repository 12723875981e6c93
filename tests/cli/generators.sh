#!/usr/bin/env bash
# vq apply with the generators: pictures Pillow reads back, sets with their
# known members, grids on their spacing, seeds that repeat, palettes and
# settings files.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

"$PY" -c "
from PIL import Image
Image.new('RGB', (65, 32), (90, 90, 90)).save('grey.png')"

# Mandelbrot at zoom 1 about 0 - 0.0625i on 65 x 32: an eighth per pixel, the real axis through row 15.
expect_status 0 -- "$VQ" apply grey.png mand.png MANDELBROT 0 -0.0625 1 300 32 2
"$PY" - <<'EOF' && pass "Mandelbrot: 0, -1 and -2 black, 0.5 and 1 escape" || fail "Mandelbrot membership"
from PIL import Image
import sys
im = Image.open('mand.png').convert('RGB')
at = lambda re: im.getpixel((32 + int(re * 8), 15))
black = (0, 0, 0)
sys.exit(0 if at(0) == black and at(-1) == black and at(-2) == black and at(0.5) != black and at(1) != black else 1)
EOF

# Grid lines every 8 from column 3 and row 1, in white.
expect_status 0 -- "$VQ" apply grey.png grid.png grid xspace=8 yspace=8 xoffset=3 yoffset=1 opacity=100 major=0 \
  red=255 green=255 blue=255
"$PY" - <<'EOF' && pass "Grid lines on the set spacing" || fail "Grid lines misplaced"
from PIL import Image
import sys
im = Image.open('grid.png').convert('RGB')
for y in range(32):
    for x in range(65):
        want = (255, 255, 255) if (x - 3) % 8 == 0 or (y - 1) % 8 == 0 else (90, 90, 90)
        if im.getpixel((x, y)) != want:
            sys.exit(1)
EOF

# The same seed gives the same pixels; another seed others.
expect_status 0 -- "$VQ" apply grey.png fire1.png fire seed=5
expect_status 0 -- "$VQ" apply grey.png fire2.png fire seed=5
expect_status 0 -- "$VQ" apply grey.png fire3.png fire seed=6
cmp -s fire1.png fire2.png && pass "Fire repeats with its seed" || fail "Fire differs with the same seed"
cmp -s fire1.png fire3.png && fail "Fire the same with another seed" || pass "Fire changes with the seed"

# A palette on the command line: Linear Fill from red to blue, left to right.
expect_status 0 -- "$VQ" apply grey.png lin.png "linear fill" palette=255,0,0/0,0,255
"$PY" - <<'EOF' && pass "Linear Fill runs from its first colour to its last" || fail "Linear Fill ends"
from PIL import Image
import sys
im = Image.open('lin.png').convert('RGB')
sys.exit(0 if im.getpixel((0, 5)) == (255, 0, 0) and im.getpixel((64, 5)) == (0, 0, 255) else 1)
EOF

# Settings: a saved Julia is the same Julia when loaded.
expect_status 0 -- "$VQ" apply grey.png j1.png julia cre=-1 cim=0 iterations=50 --save-settings julia.vqs
expect_grep '^juliapal 4 ' julia.vqs
expect_status 0 -- "$VQ" apply grey.png j2.png julia --settings julia.vqs
cmp -s j1.png j2.png && pass "Julia settings file round trip" || fail "Julia settings differ"

# Refusals: a zoom outside the typed range, a star without light.
expect_status 2 -- "$VQ" apply grey.png x.png mandelbrot zoom=0
expect_grep 'zoom must lie in' err.txt
expect_status 1 -- "$VQ" apply grey.png x.png asterize intensity=0
expect_grep 'will produce no change' err.txt
[ ! -e x.png ] && pass "no output after refusals" || fail "output written after a refusal"
finish
