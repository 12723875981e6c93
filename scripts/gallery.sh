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

shrink "$sample" "$out/sample.png"
# The Plugin operation's picture uses the sepia sample plug-in.
vq plugins add "$(dirname "$VQ")/sepia.gxp" >/dev/null
failed=0
while IFS=$'\t' read -r word name; do
  # shellcheck disable=SC2046
  args=$(awk -F'\t' -v w="$word" '$1 == w { print $2 }' data/gallery/args.tsv)
  # shellcheck disable=SC2086
  if vq apply "$sample" "$home/$word.png" "$name" $args --source "$source" --brush "$source" 2>"$home/err.txt"; then
    shrink "$home/$word.png" "$out/$word.png"
  else
    echo "gallery: $name: $(tail -1 "$home/err.txt")" >&2
    failed=1
  fi
done < <(vq ops --available --names)
# A run of vq apply keeps no operation values, so the defaults are shown.
vq ops --markdown >docs/operations.md
exit $failed
