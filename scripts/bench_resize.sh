#!/usr/bin/env bash
# vq apply Reduce (4096 x 4096 to 1024 x 1024) and Enlarge (1024 x 1024 to
# 4096 x 4096) end to end beside `vips resize` and ImageMagick's -resize on
# the same uncompressed TIFF files: the best of RUNS wall times of each.
# Run after `make build`; VQ names another vq.
set -euo pipefail
cd "$(dirname "$0")/.."
VQ=${VQ:-build/bin/vq}
RUNS=${RUNS:-5}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home="$work/home"
convert -size 4096x4096 plasma:fractal -seed 1 -depth 8 -compress none "$work/big.tif"
convert "$work/big.tif" -resize 1024x1024 -compress none "$work/small.tif"

best() {  # best LABEL command...: the least wall time of RUNS runs, in seconds
  local label=$1 t b=999
  shift
  for _ in $(seq "$RUNS"); do
    /usr/bin/time -f %e -o "$work/time.txt" "$@" >/dev/null 2>&1
    t=$(tail -1 "$work/time.txt")
    b=$(awk -v a="$t" -v b="$b" 'BEGIN { print (a < b) ? a : b }')
  done
  printf '%-28s %6.2f s\n' "$label" "$b"
}

best "vq Reduce 25 %" "$VQ" --home "$home" --quiet apply "$work/big.tif" "$work/vr.tif" Reduce percent=25 --compress 0
best "vips resize 0.25" vips resize "$work/big.tif" "$work/ir.tif" 0.25
best "convert -resize 25%" convert "$work/big.tif" -resize 25% -compress none "$work/mr.tif"
best "vq Enlarge 400 %" "$VQ" --home "$home" --quiet apply "$work/small.tif" "$work/ve.tif" Enlarge percent=400 --compress 0
best "vips resize 4" vips resize "$work/small.tif" "$work/ie.tif" 4
best "convert -resize 400%" convert "$work/small.tif" -resize 400% -compress none "$work/me.tif"
best "vq convert (load + save)" "$VQ" --home "$home" --quiet convert "$work/big.tif" "$work/c.tif" --compress 0
