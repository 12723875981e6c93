#!/usr/bin/env bash
# End to end: 100 frames of 1024 x 768 placed into a 320 x 240 film, and the
# film's frames written as GIF, MNG and AVI animations by vq beside
# ImageMagick and ffmpeg making the same animations from the same 320 x 240
# frames (PNG files; vq reads its film file).  Median of three runs, wall,
# user and system seconds; on a shared machine the CPU seconds are the
# figures to compare.
# Usage: bench/film_vs_peers.sh [BUILD]
set -euo pipefail
BUILD=${1:-build}
VQ=$(cd "$(dirname "$BUILD/bin/vq")" && pwd)/vq
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
export GLIMVQ_HOME="$work/home"

# Bands moving over a gradient, one picture per frame.
/usr/bin/python3 - <<'PY'
from PIL import Image, ImageDraw
base = Image.merge('RGB', (Image.linear_gradient('L').rotate(90).resize((1024, 768)),
                           Image.linear_gradient('L').resize((1024, 768)),
                           Image.new('L', (1024, 768), 128)))
for f in range(100):
    im = base.copy()
    d = ImageDraw.Draw(im)
    for x in range(-64, 1024, 128):
        d.rectangle([x + 8 * f % 128, 0, x + 8 * f % 128 + 63, 767], fill=(40, 200, 90))
    for y in range(-48, 768, 96):
        d.rectangle([0, y + 6 * f % 96, 1023, y + 6 * f % 96 + 47], fill=(230, 60, 228))
    im.save('src%03d.png' % f, compress_level=1)
PY
run3() {
  local out=() t
  for _ in 1 2 3; do
    t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
    out+=("$t")
  done
  printf '%s\n' "${out[@]}" | sort -n | sed -n 2p
}
row() { printf '%-52s %8s %8s %8s\n' "$@"; }

row "100 frames, 1024x768 into a 320x240 film" wall user sys
row "vq film build (load 100 PNGs, place)" $(run3 "$VQ" --quiet film build strip.flm --size 320x240 src*.png)
row "convert -resize 320x240 (100 PNGs out)" $(run3 convert src*.png -resize 320x240 -background black -gravity center -extent 320x240 +adjoin small%03d.png)
"$VQ" --quiet film frames strip.flm frames
ls frames/*.png > list.txt

row "MNG: vq film export" $(run3 "$VQ" --quiet film export strip.flm vq.mng --delay 8)
row "MNG: convert -colors 256 (indexed, as ours)" $(run3 convert -delay 8 frames/*.png -colors 256 im.mng)
row "MNG: convert (24-bit frames)" $(run3 convert -delay 8 frames/*.png im24.mng)
row "GIF: vq film export" $(run3 "$VQ" --quiet film export strip.flm vq.gif --delay 8)
row "GIF: vq film export --common-palette 1" $(run3 "$VQ" --quiet film export strip.flm vqc.gif --delay 8 --common-palette 1)
row "GIF: convert frames/*.png anim.gif" $(run3 convert -delay 8 frames/*.png im.gif)
row "GIF: ffmpeg (palettegen, paletteuse)" $(run3 ffmpeg -y -framerate 12.5 -i frames/f%04d.png -filter_complex '[0]split[a][b];[a]palettegen[p];[b][p]paletteuse' ff.gif)
row "AVI: vq film export (uncompressed)" $(run3 "$VQ" --quiet film export strip.flm vq.avi --delay 8)
row "AVI: ffmpeg -c:v rawvideo -pix_fmt bgr24" $(run3 ffmpeg -y -framerate 12.5 -i frames/f%04d.png -c:v rawvideo -pix_fmt bgr24 ff.avi)
row "AVI: vq film export --compress 1 (MJPEG)" $(run3 "$VQ" --quiet film export strip.flm vqm.avi --delay 8 --compress 1)
row "AVI: ffmpeg -c:v mjpeg -q:v 2" $(run3 ffmpeg -y -framerate 12.5 -i frames/f%04d.png -c:v mjpeg -q:v 2 ffm.avi)
ls -l vq.mng im.mng im24.mng vq.gif im.gif ff.gif vq.avi ff.avi vqm.avi ffm.avi 2>/dev/null | awk '{print $5, $9}'
