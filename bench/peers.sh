#!/usr/bin/env bash
# The image-file jobs beside the programs a user would otherwise reach for,
# on the same input, in one run: the median wall time and CPU time (user +
# system of the process and its threads) of RUNS runs, the programs taking
# turns, peak memory, and the ratios to vq.  Usage: bench/peers.sh [BUILD]
# (default build).
#
#   negate   a 4096 x 4096 RGB image: vq apply in.bmp out.bmp Negative,
#            vips invert in.ppm out.ppm, ImageMagick convert in.bmp -negate
#   info     vq info on 4096 x 4096 files, header only and decoded (--diag)
#   png      writing a 1024 x 1024 photograph-like picture as PNG: vq's
#            default and --compress 9, ImageMagick's default, vips's default
set -euo pipefail
HERE=$(dirname "$(readlink -f "$0")")
BUILD=${1:-build}
VQ=$(cd "$BUILD/bin" && pwd)/vq
export RUNS=${RUNS:-5}
WORK=$(mktemp -d /tmp/glimvq-peers-XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export GLIMVQ_HOME="$WORK/home"
cd "$WORK"
exec /usr/bin/python3 "$HERE/peers.py" "$VQ"
