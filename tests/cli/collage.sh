#!/usr/bin/env bash
# vq apply with the resizing, attribute and alpha operations: sizes Pillow
# reads back, pictures beside vips and ImageMagick, the attributes other
# programs see.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

"$PY" -c "
from PIL import Image
im = Image.new('RGBA', (64, 48), (200, 120, 40, 255))
for x in range(20, 40):
    for y in range(10, 30):
        im.putpixel((x, y), (10, 20, 30, 0))
im.save('pic.png')"

# Reduce, Enlarge, SPercent, SPixel, Extend and Clip give the sizes they promise.
size() { "$PY" -c "from PIL import Image; print('%dx%d' % Image.open('$1').size)"; }
expect_status 0 -- "$VQ" apply pic.png half.png Reduce percent=50
[ "$(size half.png)" = 32x24 ] && pass "Reduce 50 %" || fail "Reduce: $(size half.png)"
expect_status 0 -- "$VQ" apply pic.png big.png Enlarge percent=250
[ "$(size big.png)" = 160x120 ] && pass "Enlarge 250 %" || fail "Enlarge: $(size big.png)"
expect_status 0 -- "$VQ" apply pic.png sp.png SPERCENT 50 200 1 0
[ "$(size sp.png)" = 32x96 ] && pass "SPercent" || fail "SPercent: $(size sp.png)"
expect_status 0 -- "$VQ" apply pic.png px.png SPIXEL 17 5 1 0 --then EXTEND 1 2 3 4 0 255 255
[ "$(size px.png)" = 21x11 ] && pass "SPixel then Extend" || fail "SPixel, Extend: $(size px.png)"
expect_status 1 -- "$VQ" apply pic.png none.png SPERCENT 1 1 1 0
expect_grep 'between 1 and 40000' err.txt
[ ! -f none.png ] && pass "a size of 0 writes nothing" || fail "none.png written"

# Reduce and Enlarge agree with vips and ImageMagick on a smooth picture
# (their filters differ a little: well above 40 dB), and Oil Painting is
# nearer ImageMagick's -paint than the picture itself is.
psnr() { { compare -metric PSNR "$1" "$2" null: 2>&1 || true; } | awk '{ print int($1) }'; }
at_least() {  # at_least LABEL DB MIN
  [ "$2" -ge "$3" ] && pass "$1: $2 dB" || fail "$1: $2 dB, wanted $3 or more"
}
convert -size 256x256 -seed 3 plasma:fractal -blur 0x1 -depth 8 -type TrueColor plasma.png
expect_status 0 -- "$VQ" apply plasma.png r.png Reduce percent=25
expect_status 0 -- "$VQ" apply r.png e.png Enlarge percent=400
convert plasma.png -resize 25% r-im.png
convert r.png -resize 400% e-im.png
at_least "Reduce beside convert -resize" "$(psnr r.png r-im.png)" 40
at_least "Enlarge beside convert -resize" "$(psnr e.png e-im.png)" 40
if command -v vips >/dev/null; then
  vips resize plasma.png r-vips.png 0.25
  vips resize r.png e-vips.png 4
  at_least "Reduce beside vips resize" "$(psnr r.png r-vips.png)" 40
  at_least "Enlarge beside vips resize" "$(psnr e.png e-vips.png)" 40
else
  fail "vips is not installed (scripts/install-deps.sh installs libvips-tools)"
fi
sample="$GLIMVQ_SOURCE_DIR/data/gallery/sample.png"
expect_status 0 -- "$VQ" apply "$sample" oil.png "Oil Painting" radius=3
convert "$sample" -paint 3 paint.png
ours=$(psnr oil.png paint.png) theirs=$(psnr "$sample" paint.png)
at_least "Oil Painting beside -paint 3 (the picture: $theirs dB)" "$ours" $((theirs + 3))

# Make Area from the alpha channel, then Clip to its bounds: the clear
# square (opaque after Invert Alpha) is cut out.
expect_status 0 -- "$VQ" apply pic.png inv.png INVALPHA
expect_status 0 -- "$VQ" apply inv.png cut.png MAKEAREA 128 --then CLIP 0 1 0
[ "$(size cut.png)" = 20x20 ] && pass "Make Area then Clip" || fail "Make Area, Clip: $(size cut.png)"

# The attributes reach other readers.
expect_status 0 -- "$VQ" apply pic.png attr.png "Author Name" "text=Ada Lovelace" --then Copyright "text=(c) Ada" \
  --then Annotation "text=Test card" --then DPI 150 300
expect_status 0 -- "$VQ" info --attributes attr.png
expect_grep '150 x 300 dpi' out.txt
expect_grep '^  Author: Ada Lovelace$' out.txt
"$PY" - <<'PYEOF' && pass "Pillow reads the PNG's texts and pHYs" || fail "PNG attributes"
from PIL import Image
import sys
i = Image.open('attr.png').info
sys.exit(0 if i.get('Author') == 'Ada Lovelace' and i.get('Copyright') == '(c) Ada'
         and i.get('Description') == 'Test card' and round(i['dpi'][0]) == 150 and round(i['dpi'][1]) == 300 else 1)
PYEOF
expect_status 0 -- "$VQ" convert attr.png attr.jpg
"$PY" - <<'PYEOF' && pass "Pillow reads the JPEG's density" || fail "JPEG density"
from PIL import Image
import sys
sys.exit(0 if Image.open('attr.jpg').info.get('dpi') == (150, 300) else 1)
PYEOF
expect_status 0 -- "$VQ" info --attributes attr.jpg
expect_grep '^  Copyright: \(c\) Ada$' out.txt
expect_status 0 -- "$VQ" layers build attr.elf attr.png
expect_status 0 -- "$VQ" info --attributes attr.elf
expect_grep '^  Annotation: Test card$' out.txt
expect_grep '150 x 300 dpi' out.txt
finish
