#!/usr/bin/env bash
# vq area: area files and shapes rendered as masks, read back by Pillow.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

# bbox FILE -> "x0 y0 x1 y1" of the non-black pixels (exclusive right/bottom), and the pixel at X,Y.
bbox() { "$PY" -c 'import sys; from PIL import Image; b=Image.open(sys.argv[1]).convert("L").getbbox(); print(*b)' "$1"; }
pixel() { "$PY" -c 'import sys; from PIL import Image; print(Image.open(sys.argv[1]).convert("L").getpixel((int(sys.argv[2]), int(sys.argv[3]))))' "$@"; }
size() { "$PY" -c 'import sys; from PIL import Image; print(*Image.open(sys.argv[1]).size)' "$1"; }
check() { [ "$2" = "$3" ] && pass "$1" || fail "$1: got '$2', wanted '$3'"; }

cat > rect.asf <<'EOF'
AREASELECT Glimmerix:V/q File

TranLevel:    0
TranEdge:     0
TranGrow:     0

Mode: RECT
Size:  200  100
Pos:  100   50
Rad:   20   10
Feather:    0
EOF
expect_status 0 -- "$VQ" area rect.asf -o rect.png
expect_grep '^RECT: 200x100, rectangle 80,40 - 120,60, 861.0 pixels selected' out.txt
check "mask size" "$(size rect.png)" "200 100"
check "rectangle box" "$(bbox rect.png)" "80 40 121 61"
check "inside" "$(pixel rect.png 100 50)" 255

# Scaled to another size; lower-case keys and mode words read the same.
tr 'A-Z' 'a-z' < rect.asf | sed 's/^areaselect/AREASELECT/' > lower.asf
expect_status 0 -- "$VQ" area lower.asf --size 400x200 -o big.png
check "scaled box" "$(bbox big.png)" "160 80 242 122"

# A feathered ellipse falls off towards its edge.
sed -e 's/RECT/ELLIPSE/' -e 's/Rad:   20   10/Rad:   60   40/' -e 's/Feather:    0/Feather:   10/' rect.asf > oval.asf
expect_status 0 -- "$VQ" area oval.asf -o oval.png
check "ellipse middle" "$(pixel oval.png 100 50)" 255
v=$(pixel oval.png 157 50)
[ "$v" -gt 0 ] && [ "$v" -lt 100 ] && pass "feathered edge $v" || fail "feathered edge $v"

# The colour key reads the image given; Pillow writes it.
"$PY" -c 'from PIL import Image, ImageDraw
im = Image.new("RGB", (64, 48), (0, 0, 255)); d = ImageDraw.Draw(im)
d.rectangle((10, 5, 19, 14), fill=(250, 10, 10)); d.rectangle((40, 30, 45, 40), fill=(240, 0, 20)); im.save("keyed.png")'
printf 'AREASELECT\nMode: KEY\nColor: 245 5 15\nRange: 10 10 10\n' > key.asf
expect_status 0 -- "$VQ" area key.asf --image keyed.png -o key.png
check "key box" "$(bbox key.png)" "10 5 46 41"
printf 'AREASELECT\nMode: FLOOD\nPos: 12 7\nRange: 20 20 20\n' > wand.asf
expect_status 0 -- "$VQ" area wand.asf --image keyed.png -o wand.png
check "wand box" "$(bbox wand.png)" "10 5 20 15"

# A shape drawn in a box, kept as an area file.
printf 'ISHAPE\nring\n0 0\n1000 0\n1000 1000\n0 1000\n\n250 250\n750 250\n750 750\n250 750\n' > ring.ish
expect_status 0 -- "$VQ" area --shape ring.ish --box 20,10,179,89 --size 200x100 -o ring.png --save-area ring.asf
check "ring hole" "$(pixel ring.png 100 50)" 0
check "ring body" "$(pixel ring.png 30 50)" 255
expect_grep '^Mode: ISHAPE$' ring.asf
expect_status 0 -- "$VQ" area ring.asf -o ring2.png
cmp -s ring.png ring2.png && pass "area file of the shape gives the same mask" || fail "ring.asf mask differs"

# Text in the default font.
printf 'AREASELECT\nMode: FONT\nSize: 300 100\nText: Glimmer\nRot: 0\nMag: 2 2\nShear: 0\n' > text.asf
expect_status 0 -- "$VQ" area text.asf -o text.png
read -r x0 y0 x1 y1 <<<"$(bbox text.png)"
[ $((x1 - x0)) -gt 100 ] && [ $((x0 + x1)) -ge 296 ] && [ $((x0 + x1)) -le 304 ] \
  && pass "text centred ($x0..$x1)" || fail "text box $x0 $y0 $x1 $y1"

# Failures: the system's messages, usage errors.
expect_status 1 -- "$VQ" area missing.asf -o m.png
expect_grep 'Message 071: Could not open the requested file. missing.asf' err.txt
printf 'not an area\n' > bad.asf
expect_status 1 -- "$VQ" area bad.asf --size 10x10 -o m.png
expect_grep 'Message 042' err.txt
printf 'AREASELECT\nMode: RECT\n' > nosize.asf
expect_status 2 -- "$VQ" area nosize.asf -o m.png
expect_grep 'no size' err.txt
expect_status 2 -- "$VQ" area rect.asf
expect_status 2 -- "$VQ" area rect.asf -o m.png --bogus
expect_status 2 -- "$VQ" area --shape ring.ish -o m.png
expect_status 1 -- "$VQ" area --shape none.ish --box 0,0,9,9 --size 10x10 -o m.png
expect_grep 'Message 063' err.txt
# vq apply --area: the operation works inside the area only.
rgb() { "$PY" -c 'import sys; from PIL import Image; print(*Image.open(sys.argv[1]).convert("RGB").getpixel((int(sys.argv[2]), int(sys.argv[3]))))' "$@"; }
changed() { "$PY" -c 'import sys; from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert("RGB"); b = Image.open(sys.argv[2]).convert("RGB")
d = ImageChops.difference(a, b).convert("L"); print(sum(1 for v in d.getdata() if v))' "$1" "$2"; }
expect_status 0 -- "$VQ" new 200x100 grey.png --color 128,64,200
expect_status 0 -- "$VQ" apply grey.png neg.png negative --area rect.asf
check "negated inside" "$(rgb neg.png 100 50)" "127 191 55"
check "kept outside" "$(rgb neg.png 79 50)" "128 64 200"
check "pixels changed" "$(changed grey.png neg.png)" 861
expect_status 0 -- "$VQ" apply grey.png negoval.png negative --area oval.asf
v=$(rgb negoval.png 157 50 | cut -d' ' -f2)
[ "$v" -gt 64 ] && [ "$v" -lt 191 ] && pass "feathered edge blends ($v)" || fail "feathered edge $v"

# The colour key picks the red blocks of the picture and nothing else.
expect_status 0 -- "$VQ" apply keyed.png keyneg.png negative --area key.asf
check "keyed block negated" "$(rgb keyneg.png 12 7)" "5 245 245"
check "background kept" "$(rgb keyneg.png 30 30)" "0 0 255"

# Splatter: five copies of the rectangle scattered over the image.
expect_status 0 -- "$VQ" prefs Splatter "5 3 1 100 0 0"
expect_status 0 -- "$VQ" apply grey.png splat.png negative --area rect.asf
n=$(changed grey.png splat.png)
[ "$n" -gt 861 ] && [ "$n" -le $((5 * 861)) ] && pass "splatter changed $n pixels" || fail "splatter changed $n pixels"
expect_status 0 -- "$VQ" prefs Splatter "20 9 0 100 1 0"

expect_status 1 -- "$VQ" apply grey.png x.png negative --area missing.asf
expect_grep 'Message 071' err.txt
[ ! -e x.png ] && pass "nothing written on failure" || fail "x.png written"
finish
