#!/usr/bin/env bash
# The demo job: what the system can do so far, run headless into out/demo/.
set -euo pipefail
BIN=${1:-build/bin}
OUT=${2:-out/demo}
VQ="$(cd "$BIN" && pwd)/vq"
SCENES="$(cd "$(dirname "$0")/../data/scenes" && pwd)"
SCRIPTS="$(cd "$(dirname "$0")/../data/scripts" && pwd)"
AREAS="$(cd "$(dirname "$0")/../data/areas" && pwd)"
TIMELINES="$(cd "$(dirname "$0")/../data/timelines" && pwd)"
PARTICLES="$(cd "$(dirname "$0")/../data/particles" && pwd)"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
HOME_DIR="$OUT/home"
rm -rf "$HOME_DIR" "$OUT/VQLOG.txt"
mkdir -p "$HOME_DIR"
cd "$OUT"

step() { printf '\n== %s\n' "$*"; }

step "Start-up and shut-down, headless, with the log on"
"$VQ" --home "$HOME_DIR" --log status

step "The log VQLOG.txt (header and memory close report)"
cat "$OUT/VQLOG.txt"

step "Preferences persist between runs (GLIMVQ.ini in the settings folder)"
"$VQ" --home "$HOME_DIR" prefs UndoWant 50
"$VQ" --home "$HOME_DIR" --screen 800x600 prefs PosMain
grep -E '^(PosMain|UndoWant|KeepLog)=' "$HOME_DIR/GLIMVQ.ini"

step "Ray tracing: a scene file rendered with supersampling, and frames of a key-set animation"
"$VQ" --home "$HOME_DIR" raytrace "$SCENES/reflection.w3d" --size 320x320 --aa 1 -o "$OUT/raytrace-reflection.png"
"$VQ" --home "$HOME_DIR" raytrace "$SCENES/textures.w3d" --size 320x320 --aa 1 -o "$OUT/raytrace-textures.png"
"$VQ" --home "$HOME_DIR" raytrace "$SCENES/orbit.w3d" --size 160x160 --frames 6 -o "$OUT/raytrace-orbit.png"
"$VQ" --home "$HOME_DIR" raytrace "$SCENES/maps.w3d" --size 320x320 --aa 1 -o "$OUT/raytrace-maps.png"
ls "$OUT"/raytrace-*.png

step "Particle systems: the fountain, vortex and snow demo systems, and 30 frames of the fountain"
for s in fountain vortex snow; do
  "$VQ" --home "$HOME_DIR" particles "$PARTICLES/$s.psy" --size 320x240 --frame 30 --background 10,15,35 \
        -o "$OUT/particles-$s.png"
done
mkdir -p "$OUT/particles"
"$VQ" --home "$HOME_DIR" particles "$PARTICLES/fountain.psy" --size 320x240 --frames 30 \
      -o "$OUT/particles/fountain%04d.png" | tail -1
ls "$OUT"/particles-*.png; ls "$OUT/particles" | wc -l

step "A script program: planets from a DATA table, sorted and written to planets.txt"
"$VQ" --home "$HOME_DIR" script "$SCRIPTS/planets.gxs" "$OUT/planets.txt"
cat "$OUT/planets.txt"

step "Image files: a new image with alpha, the ray-traced picture at 256 and 16 colours, as JPEG and TIFF"
"$VQ" --home "$HOME_DIR" new 320x200 "$OUT/new.png" --color 40,90,160,200
PICTURE="$OUT/raytrace-reflection.png"
[ -f "$PICTURE" ] || PICTURE="$OUT/new.png"
"$VQ" --home "$HOME_DIR" convert "$PICTURE" "$OUT/picture-256.bmp" --depth 8
"$VQ" --home "$HOME_DIR" convert "$PICTURE" "$OUT/picture-16.png" --depth 4
"$VQ" --home "$HOME_DIR" convert "$PICTURE" "$OUT/picture.jpg" --quality 90
"$VQ" --home "$HOME_DIR" convert "$OUT/new.png" "$OUT/new.tif" --compress 2
"$VQ" --home "$HOME_DIR" info "$OUT/new.png" "$OUT/picture-256.bmp" "$OUT/picture-16.png" "$OUT/picture.jpg" \
     "$OUT/new.tif"

step "Operations: the Photo Group of the catalogue, then tone and colour operations on the ray-traced picture"
"$VQ" --home "$HOME_DIR" ops photo
PIC="$OUT/raytrace-reflection.png"
"$VQ" --home "$HOME_DIR" apply "$PIC" "$OUT/ops-negative.png" negative
"$VQ" --home "$HOME_DIR" apply "$PIC" "$OUT/ops-sepia.png" monochrome 1 --then colorize hue=35 saturation=40 \
      --then contrast 15
"$VQ" --home "$HOME_DIR" apply "$PIC" "$OUT/ops-solarize.png" solarize
"$VQ" --home "$HOME_DIR" apply "$PIC" "$OUT/ops-gamma.png" gamma 120 --save-settings "$OUT/ops-gamma.VQS"
cat "$OUT/ops-gamma.VQS"
"$VQ" --home "$HOME_DIR" apply "$PIC" "$OUT/ops-histogram.png" histogram measure=1
ls "$OUT"/ops-*.png

step "Colour reduction: the textured spheres dithered by patterns, on the fixed palette, in greys, in black and white"
SRC="$OUT/raytrace-textures.png"
"$VQ" --home "$HOME_DIR" convert "$SRC" "$OUT/reduce-256-ordered.bmp" --depth 8 --dither ordered
"$VQ" --home "$HOME_DIR" convert "$SRC" "$OUT/reduce-256-fixed.png" --depth 8 --reduce fixed --dither ordered
"$VQ" --home "$HOME_DIR" convert "$SRC" "$OUT/reduce-256-greys.png" --depth 8 --reduce greys
"$VQ" --home "$HOME_DIR" convert "$SRC" "$OUT/reduce-2.bmp" --depth 1 --strength 80
"$VQ" --home "$HOME_DIR" info "$OUT/reduce-256-ordered.bmp" "$OUT/reduce-256-fixed.png" "$OUT/reduce-256-greys.png" \
     "$OUT/reduce-2.bmp"

step "Area selections: a feathered ellipse, a shape drawn in a box, text in the default font as masks; an operation inside the ellipse"
"$VQ" --home "$HOME_DIR" area "$AREAS/oval.asf" -o "$OUT/area-oval.png"
"$VQ" --home "$HOME_DIR" area --shape "$AREAS/ring.ish" --box 40,20,279,179 --size 320x200 \
      -o "$OUT/area-ring.png" --save-area "$OUT/area-ring.asf"
"$VQ" --home "$HOME_DIR" area "$AREAS/title.asf" -o "$OUT/area-title.png"
"$VQ" --home "$HOME_DIR" apply "$OUT/raytrace-reflection.png" "$OUT/area-negative.png" negative --area "$AREAS/oval.asf"

step "Layers: two renders and a card stacked with blend modes, a shadow layer, the list and the composite"
"$VQ" --home "$HOME_DIR" new 160x120 "$OUT/layer-card.png" --color 255,200,40
"$VQ" --home "$HOME_DIR" layers build "$OUT/layers.elf" "$OUT/raytrace-reflection.png" \
  --layer "$OUT/raytrace-textures.png" mode="Soft Light" opacity=80 name=textures \
  --layer "$OUT/layer-card.png" mode=Multiply x=130 y=150 opacity=70 name=card
"$VQ" --home "$HOME_DIR" layers effect "$OUT/layers.elf" card shadow
"$VQ" --home "$HOME_DIR" layers list "$OUT/layers.elf"
"$VQ" --home "$HOME_DIR" convert "$OUT/layers.elf" "$OUT/layers.png"
ls -l "$OUT/layers.elf" "$OUT/layers.png"

step "A timeline: the reflection darkened over ten frames by a trend, the ellipse selected on four of them"
TML="$OUT/fade.tml"
"$VQ" --home "$HOME_DIR" timeline new "$TML" --frames 10
"$VQ" --home "$HOME_DIR" timeline set "$TML" --level 1 --frame 1-10 --action "$OUT/raytrace-reflection.png"
"$VQ" --home "$HOME_DIR" timeline set "$TML" --level 1 --frame 1-10 --op "Adjust Value" amount=0
"$VQ" --home "$HOME_DIR" timeline trend "$TML" --level 1 --op "Adjust Value" --var amount --keys 1:0,10:-80
"$VQ" --home "$HOME_DIR" timeline set "$TML" --level 1 --frame 4-7 --area "$AREAS/oval.asf"
"$VQ" --home "$HOME_DIR" timeline show "$TML"

step "A film strip: eight frames of a swirl growing on the reflection, written as a film file and animations"
FRAMES=()
for i in 0 1 2 3 4 5 6 7; do
  "$VQ" --home "$HOME_DIR" apply "$OUT/raytrace-reflection.png" "$OUT/film-src$i.png" swirl $((i * 40 + 30))
  FRAMES+=("$OUT/film-src$i.png")
done
"$VQ" --home "$HOME_DIR" film build "$OUT/film.flm" --size 160x160 "${FRAMES[@]}"
"$VQ" --home "$HOME_DIR" film info "$OUT/film.flm"
"$VQ" --home "$HOME_DIR" film export "$OUT/film.flm" "$OUT/film.mng" --delay 10 --pingpong 1 --common-palette 1
"$VQ" --home "$HOME_DIR" film export "$OUT/film.flm" "$OUT/film.avi" --delay 10 --pingpong 1
"$VQ" --home "$HOME_DIR" film export "$OUT/film.flm" "$OUT/film.gif" --delay 10 --pingpong 1 --common-palette 1
"$VQ" --home "$HOME_DIR" film export "$OUT/film.flm" "$OUT/film.flc"
"$VQ" --home "$HOME_DIR" info "$OUT/film.flm" "$OUT/film.gif" "$OUT/film.flc" "$OUT/film.avi"
rm -f "${FRAMES[@]}"
ls -l "$OUT"/film.*

step "Sequence generation: a Julia set whose colour bands follow a trend (level 1), swirled by level 2 from Level(1), as GIF and MNG"
"$VQ" --home "$HOME_DIR" timeline show "$TIMELINES/julia-swirl.tml" | sed -n 1,8p
"$VQ" --home "$HOME_DIR" new 320x240 "$OUT/sequence-canvas.png"
"$VQ" --home "$HOME_DIR" --yes timeline "$TIMELINES/julia-swirl.tml" --image "$OUT/sequence-canvas.png" \
      -o "$OUT/sequence.gif" --delay 8
"$VQ" --home "$HOME_DIR" --yes timeline "$TIMELINES/julia-swirl.tml" --image "$OUT/sequence-canvas.png" \
      -o "$OUT/sequence.mng" --delay 8
"$VQ" --home "$HOME_DIR" --yes timeline "$TIMELINES/julia-swirl.tml" --image "$OUT/sequence-canvas.png" \
      -o "$OUT/sequence/f%04d.png" --range 10-12
ls -l "$OUT/sequence.gif" "$OUT/sequence.mng" "$OUT"/sequence/f*.png

printf '\nDemo output is in %s\n' "$OUT"
