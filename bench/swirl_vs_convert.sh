#!/usr/bin/env bash
# End to end: `vq apply big.bmp out.bmp Swirl 90` beside ImageMagick's
# `convert big.bmp -swirl 90 out.bmp` on the same 4096 x 4096 picture (read,
# swirl, write), each run three times; prints the median wall, user and
# system seconds.  Both run with a thread per core and again with one.
# Usage: bench/swirl_vs_convert.sh [BUILD] [SIDE]
set -euo pipefail
BUILD=${1:-build}
SIDE=${2:-4096}
VQ=$(cd "$(dirname "$BUILD/bin/vq")" && pwd)/vq
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
convert -size "${SIDE}x${SIDE}" plasma:fractal -seed 7 -depth 8 -type TrueColor big.bmp 2>/dev/null

# median of three runs: "wall user sys"
run3() {
  local out=() t
  for _ in 1 2 3; do
    t=$( { TIMEFORMAT='%R %U %S'; time "$@" >/dev/null 2>&1; } 2>&1 )
    out+=("$t")
  done
  printf '%s\n' "${out[@]}" | sort -n | sed -n 2p
}

printf '%-40s %8s %8s %8s\n' "${SIDE}x${SIDE} BMP, Swirl 90" wall user sys
printf '%-40s %8s %8s %8s\n' "vq apply (one thread)" $(run3 "$VQ" --home "$work" --quiet --threads 1 apply big.bmp vq.bmp Swirl 90)
printf '%-40s %8s %8s %8s\n' "vq apply (a thread per core)" $(run3 "$VQ" --home "$work" --quiet apply big.bmp vq2.bmp Swirl 90)
printf '%-40s %8s %8s %8s\n' "convert -swirl 90 (its threads)" $(run3 convert big.bmp -swirl 90 im.bmp)
printf '%-40s %8s %8s %8s\n' "convert -swirl 90 (one thread)" $(MAGICK_THREAD_LIMIT=1 run3 convert big.bmp -swirl 90 im1.bmp)
printf '%-40s %8s %8s %8s\n' "vq convert (read and write only)" $(run3 "$VQ" --home "$work" --quiet convert big.bmp copy.bmp)
