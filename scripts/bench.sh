#!/usr/bin/env bash
# Runs every benchmark program of the build (make bench).
set -euo pipefail
BUILD=${1:-build}
status=0
for b in "$BUILD"/bench/bench_*; do
  [ -x "$b" ] || continue
  printf '\n== %s\n' "$(basename "$b")"
  "$b" || status=1
done
# The image-file jobs beside vips and ImageMagick.
printf '\n== peers (bench/peers.sh)\n'
"$(dirname "$0")/../bench/peers.sh" "$BUILD" || status=1
exit $status
