#!/usr/bin/env bash
# vq timeline FILE.tml -o OUT: sequences generated into numbered files and
# animations that ImageMagick and ffprobe read back, and film files; a range equal to the same frames of
# a full run; one operation of each applier kind giving the same pixels
# through vq apply, a script command and a timeline frame; bad requests.
source "$(dirname "$0")/lib.bash"

have_convert=0
command -v convert >/dev/null 2>&1 && command -v identify >/dev/null 2>&1 && have_convert=1

# Pictures with something to move: a gradient, and a second one for the source.
if [ $have_convert = 1 ]; then
  convert -size 64x48 gradient:'rgb(250,40,10)-rgb(10,90,240)' -fill white -draw 'circle 32,24 40,30' -depth 8 in.png
  convert -size 64x48 gradient:'rgb(0,200,100)-rgb(200,0,50)' -rotate 90 -resize '64x48!' -depth 8 src.png
else
  "$VQ" new 64x48 in.png --color 200,90,30 >/dev/null
  "$VQ" new 64x48 src.png --color 20,150,220 >/dev/null
fi

# ---- one operation model: vq apply, a script command and a timeline frame --------
"$VQ" ops > ops.txt
# The script call of an operation: every numeric parameter in order, at its
# default unless given as KEY=VALUE.
script_call() {
  python3 - "$@" <<'PY'
import re, sys
op, given = sys.argv[1], dict(a.split("=") for a in sys.argv[2:])
keyword, args, inside = None, [], False
for line in open("ops.txt"):
    m = re.match(r"^\d+\s+(.+?)\s{2,}(\w+)(?:\((\d+)\))?", line)
    if m:
        inside = m.group(1).lower() == op.lower()
        if inside:
            keyword, count = m.group(2), int(m.group(3) or 0)
        continue
    m = re.match(r"^\s+(\w+)=(-?[0-9.e+]+)\s", line)
    if inside and m:
        args.append(given.get(m.group(1), m.group(2)))
# The command takes as many arguments as it says; those beyond the parameters are not used.
args = (args + ["0"] * count)[:count]
print(f"X = {keyword}({', '.join(args)})" if count else keyword)
PY
}
# One operation of each applier kind, with its values.
python3 - > histo.vqs <<'EOF'
print("VQOPSET Glimmerix:V/q File\n\nHistogram: 0\nHisto 0 200 0 255")
values = [255 - i * 255 // 200 for i in range(201)]
for i in range(0, 201, 20):
    print(" " + " ".join(str(v) for v in values[i:i + 20]))
EOF
while IFS='|' read -r kind op values extra; do
  read -r -a vals <<< "$values"
  apply_extra=() tl_extra=()
  case "$extra" in
    source) apply_extra=(--source src.png); tl_extra=(--source src.png) ;;
    pfile) apply_extra=(--settings histo.vqs) ;;
  esac
  rm -f "apply_$kind.png" t.tml; rm -rf tl
  "$VQ" apply in.png "apply_$kind.png" "$op" "${vals[@]}" "${apply_extra[@]}" >/dev/null 2>err.txt ||
    { fail "$kind: vq apply $op"; cat err.txt >&2; continue; }
  "$VQ" timeline new t.tml --frames 3 >/dev/null
  "$VQ" timeline set t.tml --level 1 --frame 1-3 --action in.png >/dev/null
  [ ${#tl_extra[@]} -gt 0 ] && "$VQ" timeline set t.tml --level 1 --frame 1-3 "${tl_extra[@]}" >/dev/null
  if [ "$extra" = pfile ]; then
    "$VQ" timeline set t.tml --level 1 --frame 1-3 --op "$op" "${vals[@]}" --pfile histo.vqs >/dev/null
  else
    "$VQ" timeline set t.tml --level 1 --frame 1-3 --op "$op" "${vals[@]}" >/dev/null
  fi
  "$VQ" timeline t.tml -o 'tl/f%d.png' --range 2-2 >/dev/null 2>err.txt || { fail "$kind: timeline"; cat err.txt >&2; continue; }
  if cmp -s "apply_$kind.png" tl/f2.png; then pass "$kind ($op): vq apply and a timeline frame agree byte for byte"
  else fail "$kind ($op): vq apply and the timeline differ"; fi
  # The script command, on the image alone (a source stands in for itself there).
  {
    if [ "$extra" = pfile ]; then
      python3 -c 'print("\n".join(f"{10 + i} X = SETPROF(\"histo\", {i}, {255 - i * 255 // 200})" for i in range(201)))'
    fi
    echo "5000 $(script_call "$op" "${vals[@]}")"
    echo "5010 END"
  } > op.gxs
  [ "$extra" = source ] && "$VQ" apply in.png "apply_$kind.png" "$op" "${vals[@]}" >/dev/null
  rm -f "script_$kind.png"
  "$VQ" script op.gxs --image in.png -o "script_$kind.png" >/dev/null 2>err.txt || { fail "$kind: script"; cat err.txt op.gxs >&2; continue; }
  if cmp -s "apply_$kind.png" "script_$kind.png"; then pass "$kind ($op): vq apply and a script command agree byte for byte"
  else fail "$kind ($op): vq apply and the script differ ($(tail -2 op.gxs | head -1))"; fi
  cmp -s in.png "apply_$kind.png" && fail "$kind ($op) changed nothing"
done <<'EOF'
pixel-map|Negative|mode=1|
pixel-map-xy|Combine|percent=70|source
pixel-in-place|Brightness|amount=35|
pixel-in-place-xy|Asterize|arms=5 length=60|
multi-pass|Motion Blur|angle=45 distance=6|
geometric|Swirl|amount=140|
whole-image|Relief|angle=45|
whole-image-no-undo|Histogram|measure=0|pfile
EOF

# ---- a two-level timeline with trends, into numbered files, GIF and MNG ----------
"$VQ" timeline new anim.tml --frames 12 >/dev/null
"$VQ" timeline set anim.tml --level 1 --frame 1-12 --action in.png >/dev/null
"$VQ" timeline set anim.tml --level 1 --frame 1-12 --op "Adjust Hue" shift=0 >/dev/null
"$VQ" timeline trend anim.tml --level 1 --op "Adjust Hue" --var shift --keys 1:-180,12:180 >/dev/null
"$VQ" timeline set anim.tml --level 2 --frame 1-12 --action 'Level(1)' >/dev/null
"$VQ" timeline set anim.tml --level 2 --frame 1-12 --op Swirl amount=10 >/dev/null
"$VQ" timeline trend anim.tml --level 2 --op Swirl --var amount --keys 1:10,6:200,12:-120 --splined >/dev/null

expect_status 0 -- "$VQ" timeline anim.tml -o 'full/f%04d.png'
expect_grep '^12 frames \(1 to 12\) written to full/f%04d.png$' out.txt
[ -f full/f0001.png ] && [ -f full/f0012.png ] && pass "twelve numbered files" || fail "numbered files missing"
cmp -s full/f0003.png full/f0004.png && fail "frames 3 and 4 are the same: the trends did nothing"

# Ranges as separate jobs give the same files as the full run.
for r in 1-4 5-8 9-12; do "$VQ" timeline anim.tml -o 'parts/f%04d.png' --range "$r" >/dev/null || fail "range $r"; done
same=1
for f in full/*.png; do cmp -s "$f" "parts/$(basename "$f")" || { same=0; fail "$(basename "$f") of a range differs"; }; done
[ $same = 1 ] && pass "frames of three ranges equal the full run byte for byte"
expect_status 0 -- "$VQ" timeline anim.tml -o 'late/f%04d.png' --range 11-40
expect_grep 'has 12 frames; the range is cut' err.txt
expect_grep '^2 frames \(11 to 12\)' out.txt

expect_status 0 -- "$VQ" timeline anim.tml -o anim.gif --delay 8
expect_status 0 -- "$VQ" timeline anim.tml -o anim.flc --range 1-5
if [ $have_convert = 1 ]; then
  n=$(identify anim.gif | wc -l)
  [ "$n" -eq 12 ] && pass "ImageMagick reads 12 GIF frames" || fail "ImageMagick reads $n GIF frames"
fi
n=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print(struct.unpack("<IHH", d[:8])[2] if d[4:6]==b"\x12\xaf" else -1)' anim.flc)
[ "$n" -eq 5 ] && pass "the FLC holds 5 frames" || fail "the FLC holds $n frames"
expect_status 0 -- "$VQ" timeline anim.tml -o anim.mng --delay 8
expect_status 0 -- "$VQ" timeline anim.tml -o anim.flm --range 3-9
expect_status 0 -- "$VQ" timeline anim.tml -o anim.avi --range 1-6
if [ $have_convert = 1 ]; then
  # ImageMagick reads every frame; it warns that the stream says simplicity
  # profile 1 (the layout the writer keeps) and holds a FRAM chunk.
  identify anim.mng > mng.txt 2>/dev/null || true
  n=$(grep -c 'MNG 64x48' mng.txt)
  [ "$n" -eq 12 ] && pass "ImageMagick reads 12 MNG frames" || fail "ImageMagick reads $n MNG frames"
  # The seventh frame of the MNG is frame 7 of the run, reduced to a palette: close to the PNG.
  convert "anim.mng[6]" mng7.png 2>/dev/null || true
  d=$(compare -metric RMSE mng7.png full/f0007.png null: 2>&1 | sed 's/.*(\(.*\))/\1/' || true)
  python3 -c "import sys; sys.exit(0 if float('$d') < 0.08 else 1)" && pass "MNG frame 7 is the run's frame 7" ||
    fail "MNG frame 7 differs from full/f0007.png by $d"
fi
expect_status 0 -- "$VQ" film info anim.flm
expect_grep '64 x 48, 7 frames' out.txt
if command -v ffprobe >/dev/null 2>&1; then
  n=$(ffprobe -v error -count_frames -select_streams v:0 -show_entries stream=nb_read_frames -of csv=p=0 anim.avi)
  [ "$n" = 6 ] && pass "ffprobe reads 6 AVI frames" || fail "ffprobe reads '$n' AVI frames"
fi

# ---- bad requests -----------------------------------------------------------------
expect_status 2 -- "$VQ" timeline anim.tml
expect_grep 'needs -o OUT' err.txt
expect_status 2 -- "$VQ" timeline anim.tml -o still.png
expect_grep 'neither a numbered pattern' err.txt
expect_status 2 -- "$VQ" timeline anim.tml -o 'f%d%d.png'
expect_status 2 -- "$VQ" timeline anim.tml -o 'f%04d.xyz'
expect_grep 'name it with --type' err.txt
expect_status 2 -- "$VQ" timeline anim.tml -o x.gif --depth 8
expect_status 2 -- "$VQ" timeline anim.tml -o 'f%d.png' --range 5-2
expect_status 1 -- "$VQ" timeline missing.tml -o 'f%d.png'
expect_grep 'Could not open the requested file' err.txt
# The last output file exists: --no refuses and writes nothing.
expect_status 1 -- "$VQ" --no timeline anim.tml -o 'full/f%04d.png' --range 12-12
expect_grep 'The sequence output file already exists' err.txt
# A file that goes missing stops the run at its frame; the frames before stay.
cp in.png gone.png
"$VQ" timeline new miss.tml --frames 4 >/dev/null
"$VQ" timeline set miss.tml --level 1 --frame 1-2 --action in.png >/dev/null
"$VQ" timeline set miss.tml --level 1 --frame 3-4 --action gone.png >/dev/null
"$VQ" timeline set miss.tml --level 1 --frame 1-4 --op Negative >/dev/null
rm gone.png
expect_status 1 -- "$VQ" timeline miss.tml -o 'miss/f%d.bmp'
expect_grep 'Could not open the image file' err.txt
[ -f miss/f1.bmp ] && [ -f miss/f2.bmp ] && [ ! -f miss/f3.bmp ] && pass "frames before the missing file stay" ||
  fail "missing-file run left: $(ls miss 2>/dev/null | tr '\n' ' ')"
# An output folder that cannot be made.
: > blocked
expect_status 1 -- "$VQ" timeline anim.tml -o 'blocked/f%d.png' --range 1-1
expect_grep 'Could not make the folder' err.txt
# A timeline without entries: the question, then the image given with --image.
"$VQ" timeline new empty.tml --frames 3 >/dev/null
expect_status 1 -- "$VQ" --no timeline empty.tml -o 'e/f%d.png'
expect_grep 'There are no operations in the Time Line' err.txt
expect_status 0 -- "$VQ" timeline empty.tml -o 'e/f%d.png' --image in.png
if [ $have_convert = 1 ]; then
  convert e/f3.png -depth 8 rgba:e3.rgba; convert in.png -depth 8 rgba:in.rgba
  cmp -s e3.rgba in.rgba && pass "without entries the frames are the image given" || fail "e/f3.png is not in.png"
fi

finish
