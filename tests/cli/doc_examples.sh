#!/usr/bin/env bash
# Every shell example of README.md and docs/*.md, run verbatim: each
# document's ```sh blocks in order, in a folder of its own that looks like
# the top of the source tree (data/ and tests/ are there). The pictures and
# files the examples take as given ("photo.png", "scan.tif") are made first.
# ctest: slow
source "$(dirname "$0")/lib.bash"
S=$GLIMVQ_SOURCE_DIR
mkdir -p bin
ln -sf "$VQ" bin/vq
export PATH="$TEST_TMP/bin:$PATH"

fixtures() {  # the files examples name without making them
  ln -s "$S/data" data
  ln -s "$S/tests" tests
  ln -s "$S/plugins" plugins
  vq convert data/gallery/sample.png photo.png >/dev/null
  vq convert data/gallery/source.png other.png >/dev/null
  vq convert photo.png a.png >/dev/null; vq apply photo.png b.png negative >/dev/null
  vq apply photo.png c.png rotate angle=30 >/dev/null
  vq apply photo.png in.png negative >/dev/null
  vq convert photo.png spheres.png >/dev/null
  vq convert photo.png scan.tif >/dev/null
  vq convert photo.png old.bmp --depth 8 >/dev/null
  vq new 120x80 logo.png --color 200,40,40,128 >/dev/null
  vq apply photo.png neg-settings.png negative --save-settings negative.VQS >/dev/null
  cp data/areas/ring.ish ring.ish
  printf 'AREASELECT Glimmerix:V/q File\n\nMode: FLOOD\nSize: 640 480\nPos: 320 240\nRange: 30 30 30\n' >wand.asf
  python3 -c "import sys; sys.stdout.buffer.write(bytes(512) + bytes((x * 7 + y) & 255 for y in range(480) for x in range(640)))" >scan.raw
  cp tests/cli/script/sieve.gxs tests/cli/script/sum.gxs .
  printf '10 TRON\n20 FOR I = 1 TO 3: PRINT "line"; I: NEXT I\n30 TROFF\n' >report.gxs
}

docs=("$S/README.md")
for f in "$S"/docs/*.md; do docs+=("$f"); done
blocks=0
for doc in "${docs[@]}"; do
  name=$(basename "$doc" .md)
  grep -q '^```sh$' "$doc" || continue
  mkdir -p "$TEST_TMP/$name" && cd "$TEST_TMP/$name"
  export GLIMVQ_HOME="$TEST_TMP/$name/home"
  fixtures
  # A ```c block introduced by a line that starts with its file's name ("`half.c` halves...") is that file.
  awk '/^```c$/ {on = 1; file = name; next} /^```/ && on {on = 0; next}
       on && file != "" {print > file; next}
       !on && NF {name = ""; if (match($0, /^`[A-Za-z0-9_-]+\.c`/)) name = substr($0, 2, RLENGTH - 2)}' "$doc"
  n=0
  while IFS= read -r -d '' block; do
    n=$((n + 1)); blocks=$((blocks + 1))
    if bash -e -o pipefail -c "$block" >"block$n.out" 2>"block$n.err"; then
      pass "$name.md example $n"
    else
      fail "$name.md example $n: $(head -1 <<<"$block")"
      sed 's/^/  | /' "block$n.err" | tail -5 >&2
    fi
  done < <(awk '/^```sh$/ {on = 1; text = ""; next} /^```/ && on {on = 0; printf "%s%c", text, 0; next} on {text = text $0 "\n"}' "$doc")
  cd "$TEST_TMP"
done
[ "$blocks" -ge 20 ] && pass "$blocks examples run" || fail "only $blocks examples found"
finish
