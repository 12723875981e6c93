#!/usr/bin/env bash
# `vq apply` Blur radius 10 end to end (read, blur, write) against
# ImageMagick's `-gaussian-blur 0x10` and `vips gaussblur 10` on the same
# 4096 x 4096 picture, each on one thread, beside a plain copy of the file.
# Prints the seconds of each and the ratios, and how far the three results
# lie apart (PSNR against ImageMagick's).  SIDE sets another size; SKIP_IM=1
# leaves ImageMagick out (it takes minutes).  Run after `make build`.
set -euo pipefail
cd "$(dirname "$0")/.."
VQ=${VQ:-$PWD/build/bin/vq}
SIDE=${SIDE:-4096}
IM=$(command -v convert-im6.q16 || command -v convert)
COMPARE=$(command -v compare-im6.q16 || command -v compare)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
in=$work/in.ppm

"$IM" -size "${SIDE}x${SIDE}" -seed 5 plasma:fractal -depth 8 "$in"
seconds() {  # seconds COMMAND...: wall-clock time of one run
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >/dev/null
  t1=$(date +%s.%N)
  echo "$t0 $t1" | awk '{ printf "%.2f", $2 - $1 }'
}

copy=$(seconds cp "$in" "$work/copy.ppm")
vq=$(seconds "$VQ" --home "$work/home" --quiet --threads 1 apply "$in" "$work/vq.bmp" Blur radius=10)
vips=none
if command -v vips >/dev/null; then
  vips=$(VIPS_CONCURRENCY=1 seconds vips gaussblur "$in" "$work/vips.ppm" 10)
fi
im=none
if [ "${SKIP_IM:-0}" != 1 ]; then
  im=$(MAGICK_THREAD_LIMIT=1 seconds "$IM" "$in" -gaussian-blur 0x10 "$work/im.ppm")
fi

echo "picture ${SIDE} x ${SIDE}, one thread, seconds end to end"
printf '  %-34s %8s\n' "copy of the file" "$copy" "vq apply Blur radius=10" "$vq" \
  "vips gaussblur 10" "$vips" "convert -gaussian-blur 0x10" "$im"
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (a == "none" || b == "none" || a == 0) print "-"; else printf "%.1f", b / a }'; }
echo "  ImageMagick / vq: $(ratio "$vq" "$im")   vips / vq: $(ratio "$vq" "$vips")"
if [ "$im" != none ]; then
  "$IM" "$work/vq.bmp" "$work/vq.ppm"
  for other in vq vips; do
    [ -f "$work/$other.ppm" ] || continue
    psnr=$("$COMPARE" -metric PSNR "$work/$other.ppm" "$work/im.ppm" null: 2>&1 || true)
    echo "  PSNR $other against ImageMagick: $psnr dB"
  done
fi
