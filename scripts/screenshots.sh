#!/usr/bin/env bash
# Pictures of the workstation for the documentation: the main window with an
# image, its layers and the tool windows, a parameter dialog with its
# preview, the finder, the export dialog, the shortcuts, the timeline and
# script windows, the preferences and the particle-system and force dialogs
# (on data/particles/vortex.psy), into docs/screenshots/; the same at twice
# the scale (QT_SCALE_FACTOR=2) into docs/screenshots/2x/, to see that every
# window scales.
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=${1:-build/bin}
OUT=${2:-docs/screenshots}
mkdir -p "$OUT/2x"
OUT=$(cd "$OUT" && pwd)
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
# A picture to show: a rendered demo scene when the ray tracer is there,
# else a gradient made by ImageMagick.
if GLIMVQ_HOME="$WORK/vqhome" "$BIN/vq" raytrace data/scenes/reflection.w3d --size 480x360 -o "$WORK/picture.png" >/dev/null 2>&1; then :
else convert -size 480x360 gradient:'#2040a0-#f0a030' "$WORK/picture.png"; fi
shoot() {  # scale, screen size, folder
    rm -rf "$WORK/home"
    GLIMVQ_HOME="$WORK/home" QT_SCALE_FACTOR=$1 \
        xvfb-run -a -s "-screen 0 $2x24" "$BIN/glimvq" "$WORK/picture.png" "/shots=$3"
}
shoot 1 1280x860 "$OUT"
shoot 2 2560x1720 "$WORK/2x"
# The large pictures are many: the main window and the layers are kept.
cp "$WORK/2x/main-window.png" "$WORK/2x/layers-window.png" "$WORK/2x/parameter-dialog.png" "$OUT/2x/"
ls -l "$OUT" "$OUT/2x"
