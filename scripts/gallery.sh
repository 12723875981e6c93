#!/usr/bin/env bash
# Makes docs/gallery/: one small picture per available operation, applied
# with its default parameters to data/gallery/sample.png (the source and
# brush image is data/gallery/source.png), and docs/operations.md, which
# shows them.  Run after `make build`; VQ names another vq.
set -euo pipefail
cd "$(dirname "$0")/.."
VQ=${VQ:-build/bin/vq}
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
out=docs/gallery
mkdir -p "$out"
sample=data/gallery/sample.png
source=data/gallery/source.png
vq() { "$VQ" --home "$home" --quiet "$@"; }

shrink() {  # 240 x 180 with 256 colours keeps the pictures small
  convert "$1" -resize 240x180 -colors 256 -strip "PNG8:$2"
}
checks() {  # the same over a checkerboard, so that the alpha channel shows
  convert -size 240x180 pattern:checkerboard \( "$1" -resize 240x180 \) -gravity center \
    -compose over -composite -colors 256 -strip "PNG8:$2"
}

shrink "$sample" "$out/sample.png"
# The alpha operations work on a cut-out: the sample with its black keyed out.
# In args.tsv "<cutout>" takes it as the input and "<checks>" shows the
# result's alpha over a checkerboard (the cut-out's pictures do so too).
cutout="$home/cutout.png"
vq apply "$sample" "$cutout" "Key to Alpha" red=0 green=0 blue=0 tolerance=40 soft=60
# "<dot>" paints with a small round yellow brush instead of the source picture.
dot="$home/dot.png"
convert -size 13x13 xc:none -fill 'rgb(255,215,40)' -draw 'circle 6,6 6,1' "$dot"
# The Plugin operation's picture uses the sepia sample plug-in.
vq plugins add "$(dirname "$VQ")/sepia.gxp" >/dev/null
failed=0
while IFS=$'\t' read -r word name; do
  # shellcheck disable=SC2046
  args=$(awk -F'\t' -v w="$word" '$1 == w { print $2 }' data/gallery/args.tsv)
  input=$sample show=shrink brush=$source
  case " $args " in *" <dot> "*) brush=$dot ;; esac
  case " $args " in *" <cutout> "*) input=$cutout show=checks ;; esac
  case " $args " in *" <checks> "*) show=checks ;; esac
  args=${args//<cutout>/}
  args=${args//<checks>/}
  args=${args//<dot>/}
  # shellcheck disable=SC2086
  if vq apply "$input" "$home/$word.png" "$name" $args --source "$source" --brush "$brush" 2>"$home/err.txt"; then
    $show "$home/$word.png" "$out/$word.png"
  else
    echo "gallery: $name: $(tail -1 "$home/err.txt")" >&2
    failed=1
  fi
done < <(vq ops --available --names)
# The documentation shows the defaults: a settings folder of its own.
mkdir "$home/docs"
"$VQ" --home "$home/docs" --quiet ops --markdown >docs/operations.md
exit $failed
