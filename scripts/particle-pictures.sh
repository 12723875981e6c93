#!/usr/bin/env bash
# The pictures of docs/particles.md: the demo systems, the area modes, the
# four forces as paths over 40 frames and a vortex over a sequence, into
# docs/particles/.  Run after `make build`; VQ names another vq.
set -euo pipefail
cd "$(dirname "$0")/.."
VQ=${VQ:-build/bin/vq}
OUT=docs/particles
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$OUT"
vq() { "$VQ" --home "$work/home" --quiet "$@"; }
BG=10,15,35

# The demo systems at frame 30.
for s in fountain vortex snow; do
  vq particles "data/particles/$s.psy" --size 320x240 --frame 30 --background $BG -o "$work/$s.png"
  convert "$work/$s.png" -strip "PNG8:$OUT/$s.png"
done

# The vortex over a sequence: frames 0, 15, 30 and 59.
for f in 0 15 30 59; do
  vq particles data/particles/vortex.psy --size 320x240 --frame $f --background $BG -o "$work/v$f.png"
  convert "$work/v$f.png" -resize 160x120 -bordercolor gray30 -border 1 "$work/v$f-small.png"
done
convert "$work"/v0-small.png "$work"/v15-small.png "$work"/v30-small.png "$work"/v59-small.png +append \
        -strip "PNG8:$OUT/vortex-frames.png"

# The area modes: 300 particles placed at frame 0; modes 5 and 6 within an
# oval area (which also bounds what is drawn).
vq new 160x120 "$work/black.png" --color $BG
tiles=()
for m in 0 1 2 3 4 5 6; do
  cat > "$work/mode$m.psy" <<EOF
vqpsystem 1
particlecount 300
x 10.000000 y 0.000000 z 0.000000
xw 90.000000 yw 60.000000 zw 0.000000
minsize 1.500000 maxsize 1.500000
dist square
areamode $m
twodee 1
palette $PWD/data/palettes/fire.pal
stickypalette 1
EOF
  area=()
  [ "$m" -ge 5 ] && area=(--area data/areas/oval.asf)
  vq apply "$work/black.png" "$work/mode$m.png" Particles "file=$work/mode$m.psy" "${area[@]}"
  convert "$work/mode$m.png" -bordercolor gray30 -border 1 "$work/mode$m-framed.png"
  tiles+=("$work/mode$m-framed.png")
done
convert "${tiles[@]:0:4}" +append "$work/row1.png"
convert "${tiles[@]:4:3}" +append "$work/row2.png"
convert "$work/row1.png" "$work/row2.png" -background black -gravity west -append -strip "PNG8:$OUT/area-modes.png"

# The four forces, each acting on particles shot from the left: their paths
# over 40 frames, laid over one another.
tiles=()
i=0
for force in "constant fxv 0.000000 fyv 0.080000" "linear fxw 20.000000 fyw 0.000000 fxv 0.000000 fyv -0.300000 ftr 40.000000" \
             "radial fxw 20.000000 fyw 0.000000 fta 0.250000" "vortex fxw 20.000000 fyw 0.000000 fzv 1.000000 fta 6.000000 ftr 70.000000"; do
  type=${force%% *}
  cat > "$work/$type.psy" <<EOF
vqpsystem 1
particlecount 12
forcecount 1
minsize 2.000000 maxsize 2.000000
x -70.000000 y 0.000000
xw 0.000000 yw 40.000000
xv 2.500000
dist square
areamode 3
twodee 1
seed 3

force 1
ftype ${force}
EOF
  frames=()
  for f in $(seq 0 2 40); do
    vq particles "$work/$type.psy" --size 200x150 --frame "$f" --background 0,0,0 -o "$work/$type-$f.png"
    frames+=("$work/$type-$f.png")
  done
  convert "${frames[@]}" -background black -compose lighten -flatten -compose over -bordercolor gray30 \
          -border 1 "$work/force$i.png"
  tiles+=("$work/force$i.png")
  i=$((i + 1))
done
convert "${tiles[@]}" +append -strip "PNG8:$OUT/forces.png"
ls -l "$OUT"
