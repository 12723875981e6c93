#!/usr/bin/env bash
# GIF and FLC from the shell: files vq writes read back exactly by Pillow,
# ImageMagick, gifsicle and ffmpeg; animations Pillow writes read by vq frame
# by frame; --frame and the frame count of vq info.
source "$(dirname "$0")/lib.bash"

PY=/usr/bin/python3
# A picture of 120 colours, so the colour reduction keeps every one.
$PY - <<'EOF'
from PIL import Image
im = Image.new("RGB", (45, 31))
for y in range(31):
    for x in range(45):
        im.putpixel((x, y), ((x // 3) * 17, (y // 4) * 30, 255 - (x // 3) * 17 if y % 2 else 40))
im.save("source.png")
# An animation by another writer: three frames, a moving square, delays and a loop.
frames = []
for n in range(3):
    f = Image.new("RGB", (20, 12), (30, 60, 90))
    for y in range(4, 8):
        for x in range(2 + 5 * n, 6 + 5 * n):
            f.putpixel((x, y), (250, 200, 0))
    frames.append(f)
frames[0].save("pillow.gif", save_all=True, append_images=frames[1:], duration=[100, 200, 300], loop=0)
EOF

same() {  # same A.rgba B.rgba WHAT
  if cmp -s "$1" "$2"; then pass "$3"; else fail "$3: pixels differ"; fi
}
pil_rgb() { $PY -c 'import sys; from PIL import Image; im = Image.open(sys.argv[1]); im.seek(int(sys.argv[3])); open(sys.argv[2], "wb").write(im.convert("RGB").tobytes())' "$1" "$2" "${3:-0}"; }

pil_rgb source.png source.rgb
for type in gif flc; do
  expect_status 0 -- "$VQ" convert source.png "out.$type"
  expect_status 0 -- "$VQ" info "out.$type"
  expect_grep "^out.$type: ${type^^} 45 x 31, 8 bits, alpha no, 72 x 72 dpi, frame 1 of 1$" out.txt
  expect_status 0 -- "$VQ" convert "out.$type" "back-$type.png"
  pil_rgb "back-$type.png" "back-$type.rgb"
  same source.rgb "back-$type.rgb" "vq reads its own $type exactly"
done
pil_rgb out.gif pillow-gif.rgb
same source.rgb pillow-gif.rgb "Pillow reads our GIF exactly"
convert out.gif -depth 8 rgb:magick-gif.rgb
same source.rgb magick-gif.rgb "ImageMagick reads our GIF exactly"
if gifsicle --info out.gif >out.txt 2>&1; then
  expect_grep 'image #0 45x31' out.txt
else
  fail "gifsicle cannot read our GIF"
fi
ffmpeg -v error -i out.flc -f image2 ffmpeg%d.png && pil_rgb ffmpeg1.png ffmpeg-flc.rgb
same source.rgb ffmpeg-flc.rgb "ffmpeg reads our FLC exactly"

# Pillow's animation, frame by frame; past the last frame, the last.
expect_status 0 -- "$VQ" info pillow.gif
expect_grep 'GIF 20 x 12, .*frame 1 of 3$' out.txt
for n in 1 2 3; do
  expect_status 0 -- "$VQ" convert pillow.gif "frame$n.png" --frame "$n"
  pil_rgb "frame$n.png" ours.rgb
  pil_rgb pillow.gif theirs.rgb $((n - 1))
  same theirs.rgb ours.rgb "frame $n of Pillow's animation"
done
expect_status 0 -- "$VQ" convert pillow.gif last.png --frame 99
expect_status 0 -- "$VQ" info last.png
cmp -s last.png frame3.png && pass "--frame 99 gives the last frame" || fail "--frame 99 is not the last frame"
expect_status 2 -- "$VQ" convert pillow.gif x.png --frame 0
expect_grep 'frame number from 1' err.txt

# Refusals name the file and the reason.
printf 'GIF89a\0\0\1\0\0\0\0;' > empty.gif
expect_status 1 -- "$VQ" info empty.gif
expect_grep 'empty.gif' err.txt
printf 'not a flic file at all, but long enough to be one' > bad.flc
expect_status 1 -- "$VQ" convert bad.flc x.png --type flc
finish
