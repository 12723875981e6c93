#!/usr/bin/env bash
# Pictures of the workstation for the documentation: the main window with an
# image, a parameter dialog, the preferences and the particle-system and
# force dialogs (on data/particles/vortex.psy), into docs/screenshots/.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${1:-build/bin}
OUT=${2:-docs/screenshots}
mkdir -p "$OUT"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
export GLIMVQ_HOME="$WORK/home"
# A picture to show: a rendered demo scene when the ray tracer is there,
# else a gradient made by ImageMagick.
if "$BIN/vq" raytrace data/scenes/reflection.w3d --size 480x360 -o "$WORK/picture.png" >/dev/null 2>&1; then :
else convert -size 480x360 gradient:'#2040a0-#f0a030' "$WORK/picture.png"; fi
xvfb-run -a -s "-screen 0 1024x768x24" "$BIN/glimvq" "$WORK/picture.png" "/shots=$OUT"
ls -l "$OUT"
