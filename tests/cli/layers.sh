#!/usr/bin/env bash
# vq layers: building layered files from images made by ImageMagick, listing
# them, effect layers, and the composite that vq convert writes, read back
# with Pillow.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3

convert -size 64x48 'xc:rgb(200,100,50)' base.png
convert -size 16x16 'xc:rgba(255,0,0,1)' dot.png
# A soft-edged disc for the effect layers.
convert -size 20x20 xc:none -fill 'rgb(0,0,255)' -draw 'circle 10,10 10,2' disc.png

pixel() {  # pixel FILE X Y -> "r g b a"
  "$PY" -c "from PIL import Image; im = Image.open('$1').convert('RGBA'); print(*im.getpixel(($2, $3)))"
}
expect_pixel() {  # expect_pixel FILE X Y "r g b a"
  local got; got=$(pixel "$1" "$2" "$3")
  if [ "$got" = "$4" ]; then pass "$1 ($2,$3) = $4"; else fail "$1 ($2,$3) = $got, wanted $4"; fi
}

# Multiply at (8,8), Screen at (40,30) with Globalmask: outside the last
# layer's frame the composite is transparent.
expect_status 0 -- "$VQ" layers build out.elf base.png --layer dot.png mode=Multiply x=8 y=8 name=dot \
  --layer dot.png mode=screen x=40 y=30 flags=visible,globalmask --coding 1
expect_status 0 -- "$VQ" layers list out.elf
expect_grep '^out.elf: master "out" 64x48, 3 layers$' out.txt
expect_grep '^ +1 +base +64x48 +0,0 +Normal \(0\) +100 +100 +visible$' out.txt
expect_grep '^ +2 +dot +16x16 +8,8 +Multiply \(3\) +100 +100 +visible$' out.txt
expect_grep '^ +3 +dot +16x16 +40,30 +Screen \(21\) +100 +100 +visible,globalmask$' out.txt

expect_status 0 -- "$VQ" convert out.elf flat.png
# Multiply of (200,100,50) by red, mixed by the fast division: 199, 0, 0;
# Screen: 254, 100, 50.
expect_pixel flat.png 10 10 "199 0 0 0"
expect_pixel flat.png 45 35 "254 100 50 255"
expect_pixel flat.png 1 1 "200 100 50 0"
expect_status 0 -- "$VQ" info out.elf
expect_grep 'Layered \(ELF\) 64 x 48' out.txt

# Every coding gives the same composite.
for c in 0 1 2 3; do
  expect_status 0 -- "$VQ" layers build c$c.elf base.png --layer disc.png mode=overlay opacity=70 x=30 y=10 --coding $c
  expect_status 0 -- "$VQ" convert c$c.elf c$c.png
done
for c in 1 2 3; do
  cmp -s c0.png c$c.png && pass "coding $c composites as coding 0" || fail "coding $c differs"
done
[ "$(stat -c %s c3.elf)" -lt "$(stat -c %s c0.elf)" ] && pass "coding 3 packs" || fail "coding 3 larger than raw"

# Effect layers go next to their layer, named after it.
expect_status 0 -- "$VQ" layers effect c0.elf 2 shadow -o fx.elf
expect_status 0 -- "$VQ" layers effect fx.elf disc glow
expect_status 0 -- "$VQ" layers effect fx.elf disc emboss
expect_status 0 -- "$VQ" layers list fx.elf
expect_grep '^ +2 +disc_shadow +32x32 +32,12 ' out.txt
expect_grep '^ +3 +disc_glow +40x40 +20,0 ' out.txt
expect_grep '^ +5 +disc_emboss +20x20 +30,10 +Hard Light \(23\)' out.txt

# Refusals: usage errors before any file is read, failures with the
# system's message and the file's name.
expect_status 2 -- "$VQ" layers build bad.elf base.png --layer dot.png opacity=101
expect_grep 'opacity takes 0 to 100' err.txt
expect_status 2 -- "$VQ" layers build bad.elf base.png --layer dot.png factor=30001
expect_status 2 -- "$VQ" layers build bad.elf base.png --layer dot.png mode=Glitter
expect_grep 'no blend mode "Glitter"' err.txt
expect_status 2 -- "$VQ" layers build bad.elf base.png --coding 4
expect_status 2 -- "$VQ" layers build bad.elf base.png --layer dot.png flags=shiny
expect_status 2 -- "$VQ" layers frobnicate
expect_status 1 -- "$VQ" layers build bad.elf missing.png
expect_grep 'Could not open the image file.*missing.png' err.txt
[ ! -e bad.elf ] && pass "nothing written on failure" || fail "bad.elf written"
# A layer 3 pixels wide does not deflate into twice its width.
convert -size 3x3 xc:white thin.png
expect_status 1 -- "$VQ" layers build thin.elf base.png --layer thin.png --coding 2
expect_grep 'twice its width' err.txt

# A file cut inside its pixels: the message names it; the stack is kept
# out of the composite.
head -c 2000 out.elf > cut.elf
expect_status 1 -- "$VQ" layers list cut.elf
expect_grep 'Layer 1 of the layered file cannot be read.*cut.elf' err.txt
printf 'not a layered file' > junk.elf
expect_status 1 -- "$VQ" layers list junk.elf
expect_grep 'Message 024' err.txt
finish
