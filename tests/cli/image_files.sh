#!/usr/bin/env bash
# vq new, convert and info: the load and save dispatch from the shell.
source "$(dirname "$0")/lib.bash"

expect_status 0 -- "$VQ" new 40x30 red.bmp --color 200,10,20
expect_status 0 -- "$VQ" info red.bmp
expect_grep '^red.bmp: BMP 40 x 30, 24 bits, alpha no, 200 x 200 dpi$' out.txt

# The type follows the output's extension; a name without one gets it from --type.
expect_status 0 -- "$VQ" new 16x8 glass.png --color 0,0,255,100
expect_status 0 -- "$VQ" info glass.png
expect_grep 'PNG 16 x 8, 32 bits, alpha yes' out.txt
expect_status 0 -- "$VQ" convert glass.png copy --type tif
[ -f copy.tif ] && pass "extension added" || fail "copy.tif not written"
expect_status 0 -- "$VQ" convert copy.tif flat.jpg --quality 92
expect_status 0 -- "$VQ" info copy.tif flat.jpg
expect_grep '^copy.tif: TIFF 16 x 8, 32 bits, alpha yes' out.txt
expect_grep '^flat.jpg: JPG 16 x 8, 24 bits, alpha no' out.txt
# One command's options do not become the preferences.
expect_status 0 -- "$VQ" prefs JPEGQuality
expect_grep '^75$' out.txt
expect_status 0 -- "$VQ" convert red.bmp red16.bmp --depth 16
expect_status 0 -- "$VQ" info red16.bmp
expect_grep 'BMP 40 x 30, 24 bits' out.txt

# The save entry gives a name the type's own extension; vq says so.
expect_status 0 -- "$VQ" convert red.bmp photo.jpeg
expect_grep 'written as photo.jpeg.jpg' err.txt
[ -f photo.jpeg.jpg ] && pass "photo.jpeg.jpg written" || fail "photo.jpeg.jpg missing"

# The indexed depths follow --reduce, --dither and --strength.
colours() { /usr/bin/python3 -c 'import sys; from PIL import Image; print(sorted(set(Image.open(sys.argv[1]).convert("RGB").getdata())))' "$1"; }
expect_status 0 -- "$VQ" new 24x6 grey.png --color 140,140,140
expect_status 0 -- "$VQ" convert grey.png flat.bmp --depth 1 --strength 0
[ "$(colours flat.bmp)" = "[(255, 255, 255)]" ] && pass "strength 0: no error carried" || fail "strength 0: $(colours flat.bmp)"
expect_status 0 -- "$VQ" convert grey.png dither.bmp --depth 1 --strength 100
[ "$(colours dither.bmp)" = "[(0, 0, 0), (255, 255, 255)]" ] && pass "strength 100 dithers" || fail "strength 100: $(colours dither.bmp)"
expect_status 0 -- "$VQ" convert glass.png greys.png --depth 8 --reduce greys
colours greys.png | /usr/bin/python3 -c 'import sys, ast; c = ast.literal_eval(sys.stdin.read()); sys.exit(any(r != g or g != b for r, g, b in c))' \
  && pass "--reduce greys gives greys" || fail "--reduce greys: $(colours greys.png)"
expect_status 0 -- "$VQ" convert glass.png fixed.png --depth 8 --reduce fixed --dither ordered
colours fixed.png | /usr/bin/python3 -c '
import sys, ast
cube = {(r * 255 // 6, g * 255 // 7, b * 255 // 3) for r in range(7) for g in range(8) for b in range(4)}
greys = {(v, v, v) for v in [i * 255 // 21 for i in range(21)] + [255]}
sys.exit(not set(ast.literal_eval(sys.stdin.read())) <= cube | greys)' \
  && pass "--reduce fixed uses the system palette" || fail "--reduce fixed: $(colours fixed.png)"
expect_status 2 -- "$VQ" convert red.bmp x.png --dither random
expect_status 2 -- "$VQ" convert red.bmp x.png --strength 101

# Layered files come through the same dispatch.
expect_status 0 -- "$VQ" info "$GLIMVQ_SOURCE_DIR/fuzz/seeds/elf/stack1.elf"
expect_grep 'stack1.elf: Layered \(ELF\) 24 x 12' out.txt

# A file not where it is named is looked for in the image folder.
mkdir -p pictures && cp red.bmp pictures/kept.bmp
expect_status 0 -- "$VQ" prefs ImagePath "$TEST_TMP/pictures"
expect_status 0 -- "$VQ" info elsewhere/kept.bmp
expect_grep "^$TEST_TMP/pictures/kept.bmp: BMP 40 x 30" out.txt

# Failures name the file; usage errors say what is wrong.
expect_status 1 -- "$VQ" info red.bmp missing.png
expect_grep '^red.bmp: BMP' out.txt
expect_grep 'Could not open the image file. missing.png' err.txt
printf 'hello world, no image here' > note.txt
expect_status 1 -- "$VQ" info note.txt
expect_grep 'Image file type is not recognized. note.txt' err.txt
expect_status 2 -- "$VQ" convert red.bmp out.xyz
expect_grep 'cannot tell the file type of "out.xyz"' err.txt
expect_status 2 -- "$VQ" convert red.bmp out.png --depth 12
expect_status 2 -- "$VQ" convert red.bmp
expect_status 2 -- "$VQ" new 0x5 a.png
expect_status 2 -- "$VQ" new 5x5 a.png --color 1,2
expect_status 2 -- "$VQ" new 40001x1 a.bmp
expect_status 2 -- "$VQ" info

# Pictures without a header of their own: the layout comes from --raw, and
# info tells what a load would make of them without reading the pixels.
python3 -c "
import struct
open('grey.raw', 'wb').write(bytes([200, 90]) * 48)
open('strip.raw', 'wb').write(b'I24\\0' + struct.pack('<II', 4, 2) + bytes(range(24)))
open('cut.raw', 'wb').write(b'I24\\0' + struct.pack('<II', 400, 200) + bytes(24))
open('dots.pix', 'wb').write(bytes([0x1f]) * 8192)
"
expect_status 0 -- "$VQ" info grey.raw --raw 12x4,2
expect_grep '^grey.raw: RAW 12 x 4, 16 bits, alpha yes' out.txt
expect_status 0 -- "$VQ" convert --raw 8x4,3 grey.raw layout.png
expect_status 0 -- "$VQ" info layout.png
expect_grep '^layout.png: PNG 8 x 4' out.txt
expect_status 1 -- "$VQ" info grey.raw
expect_grep 'layout of the raw file is not known' err.txt
expect_status 1 -- "$VQ" info grey.raw --raw 20x20
expect_grep 'the file holds 96 bytes' err.txt
expect_status 2 -- "$VQ" info grey.raw --raw 20
expect_status 0 -- "$VQ" info strip.raw dots.pix
expect_grep '^strip.raw: I-RAW 4 x 2, 24 bits, alpha no' out.txt
expect_grep '^dots.pix: TGA 128 x 128, 4 bits' out.txt
expect_status 0 -- "$VQ" info --attributes strip.raw
expect_grep ' 4 x 2, 24 bits' out.txt
expect_status 1 -- "$VQ" info cut.raw
expect_grep 'I-Raw image damaged' err.txt
finish
