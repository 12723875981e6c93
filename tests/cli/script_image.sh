#!/usr/bin/env bash
# Script image commands against vq apply, the Script operation, and plug-ins
# registered and applied from the shell.
source "$(dirname "$0")/lib.bash"

"$VQ" new 40x30 base.png --color 90,160,30
# A varied image: the operations below must see different pixels.
"$VQ" apply base.png in.png "Linear Fill" angle=30 repeat=2 palette=255,0,0/0,0,255/250,250,40 >/dev/null

# The same operation with the same values, through vq apply and through its
# script command, gives the same pixels: one operation of each applier kind
# that has operations now.
same() {  # same NAME "APPLY VALUES" "SCRIPT LINE"
  local name=$1 values=$2 line=$3
  # shellcheck disable=SC2086
  "$VQ" apply in.png "a_$name.png" $values >/dev/null 2>&1 || { fail "vq apply $values"; return; }
  printf '10 %s\n' "$line" >"$name.gxs"
  "$VQ" script "$name.gxs" --image in.png -o "s_$name.png" >/dev/null 2>"err_$name.txt" || {
    fail "vq script $line: $(cat "err_$name.txt")"; return; }
  cmp -s "a_$name.png" "s_$name.png" && pass "$name: script command = vq apply" || fail "$name: pixels differ"
}
same negative "Negative 2 1 0 1" "X = NEGATIVE(2, 1, 0, 1, 9)"
same bright "Brightness 35" "X = BRIGHT(35)"
same annular "Annular 60 30 10 200 250" "X = ANNULAR(60, 30, 10, 200, 250)"
same shine "Shine 100 20 150 8" "X = SHINE(100, 20, 150, 8)"
same pixelize "Pixelize 5 7 1 2 1 40" "X = PIXELIZE(5, 7, 1, 2, 1, 40)"
same solarize "Solarize" "SOLARIZE"
same colorize "Colorize 200 80 1" "X = COLORIZE(200, 80, 1, 5)"
same swirl "Swirl 120" "X = SWIRL(120)"
same blur "Blur 2.5" "X = BLUR(2.5)"
same flip "Flip 0 1" "X = FLIP(0, 1)"
cmp -s in.png a_bright.png && fail "Brightness changed nothing" || pass "the operations change the image"

# The brush stroke's settings from the ST commands paint what vq apply paints
# with the same values by name (the Script operation, so that both have the brush).
"$VQ" new 7x5 brush.png --color 250,200,20
"$VQ" apply brush.png brush2.png "Linear Fill" angle=70 repeat=1 palette=255,0,0/0,0,255 >/dev/null
printf '%s\n' '10 X = STPOS(50, 20, 20, 0, 0): X = STAPP(80, 1, 0): X = STPAL(65280, 30): X = STFADE(40)' \
  '20 X = STFLIP(0, 1, 1, 0): X = STROTATE(10, 80, 1, 5, 0): X = STSIZING(70, 140, 0, 1, 1000)' \
  '30 X = STSHADOW(2, 2, 50, 1, 0): X = STBARREL(50, 0, 0, 0, 100, 100, 25): X = STROKE()' >stroke.gxs
expect_status 0 -- "$VQ" apply in.png s_stroke.png Script file=stroke.gxs --brush brush2.png
expect_status 0 -- "$VQ" apply in.png a_stroke.png Stroke spacing=50 jitter_x=20 jitter_y=20 opacity=80 tint=65280 \
  tint_amount=30 fade=40 flip_y=1 alternate=1 angle=10 angle_end=80 follow=1 angle_jitter=5 scale=70 scale_end=140 \
  shadow_x=2 shadow_y=2 shadow=50 shadow_soft=1 barrel=50 barrel_shade=25 --brush brush2.png
cmp -s a_stroke.png s_stroke.png && pass "stroke: ST commands = vq apply" || fail "stroke: pixels differ"
"$VQ" apply in.png d_stroke.png Stroke --brush brush2.png >/dev/null
cmp -s a_stroke.png d_stroke.png && fail "the stroke's settings changed nothing" || pass "the stroke's settings change it"
expect_status 2 -- "$VQ" apply in.png x.png Stroke scale=5000 --brush brush2.png
expect_grep "scale must lie in 1..1000, not 5000" err.txt

# The Script operation runs a program on the image: the same as vq script.
printf '10 X = BRIGHT(35)\n20 SOLARIZE\n' >two.gxs
expect_status 0 -- "$VQ" apply in.png a_two.png Script file=two.gxs
"$VQ" script two.gxs --image in.png -o s_two.png >/dev/null
cmp -s a_two.png s_two.png && pass "Script operation = vq script" || fail "Script operation differs from vq script"
# A script that fails leaves no file.
printf '10 X = BRIGHT(35)\n20 X = 1/0\n' >bad.gxs
rm -f a_bad.png
expect_status 1 -- "$VQ" apply in.png a_bad.png Script file=bad.gxs
[ ! -e a_bad.png ] && pass "failed script: nothing written" || fail "failed script wrote its image"
expect_status 1 -- "$VQ" apply in.png a_none.png Script
expect_grep 'No script file named' err.txt

# ---- plug-ins --------------------------------------------------------------------
SDK="$GLIMVQ_SOURCE_DIR/plugins/sdk"
if command -v cc >/dev/null; then
  # A plug-in of ten lines with nothing but the header: halves the red.
  cat >half.c <<'C'
#include "gxp.h"
GXP_EXPORT int32_t PLUGINLOAD(GXP_ARGS) {
  int x, y; GXP_UNUSED_ARGS;
  if (record->call == GXP_IDENTIFY) { record->handshake = GXP_HANDSHAKE; return 0; }
  if (record->call != GXP_APPLY) return 0;
  for (y = record->y0; y <= record->y1; ++y)
    for (x = record->x0; x <= record->x1; ++x) record->pixels[4 * (y * record->width + x)] /= 2;
  return 0;
}
C
  cc -std=c99 -Wall -Wextra -Werror -shared -fPIC -I"$SDK" -o half.gxp half.c && pass "ten-line plug-in compiles with gxp.h alone" \
    || fail "the ten-line plug-in does not compile"
  expect_status 0 -- "$VQ" plugins add half.gxp
  expect_grep 'Registered half' out.txt
  expect_status 0 -- "$VQ" plugins list
  expect_grep '^\* half' out.txt
  "$VQ" new 8x6 red.png --color 200,50,10
  expect_status 0 -- "$VQ" apply red.png halved.png Plugin name=half
  printf '10 PRINT GETRED(3,3); GETGREEN(3,3)\n' >probe.gxs
  "$VQ" script probe.gxs --image halved.png >out.txt
  expect_grep '^ 100 50$' out.txt
  # Applied from a script: LOADPLUG and PLUGIN.
  printf '10 PRINT LOADPLUG("half")\n20 X = PLUGIN()\n30 PRINT GETRED(0,0)\n' >plug.gxs
  expect_status 0 -- "$VQ" script plug.gxs --image red.png
  expect_grep '^ 100$' out.txt

  # Files that are no plug-in are refused, and the host goes on.
  printf 'not a library\n' >junk.gxp
  expect_status 1 -- "$VQ" plugins add junk.gxp
  expect_grep 'Plug-in Error' err.txt
  printf 'int nothing(void) { return 0; }\n' >noentry.c
  cc -shared -fPIC -o noentry.gxp noentry.c
  expect_status 1 -- "$VQ" plugins add noentry.gxp
  expect_grep 'exports neither "PluginLoad" nor "PLUGINLOAD"' err.txt
  expect_status 0 -- "$VQ" plugins list
  expect_grep '^\* half' out.txt
else
  echo "skip: no C compiler"
fi

# The samples built with the system.
if [ -e "$GLIMVQ_BIN_DIR/sepia.gxp" ]; then
  expect_status 0 -- "$VQ" plugins add "$GLIMVQ_BIN_DIR/sepia.gxp" "$GLIMVQ_BIN_DIR/chanmix.gxp"
  expect_status 0 -- "$VQ" apply red.png mixed.png Plugin name="Channel Mixer" i0=0 i3=100 i7=0
  printf '10 PRINT GETRED(1,1); GETGREEN(1,1); GETBLUE(1,1)\n' >probe.gxs
  "$VQ" script probe.gxs --image mixed.png >out.txt
  expect_grep '^ 50 50 10$' out.txt
  expect_status 1 -- "$VQ" apply red.png x.png Plugin name="Channel Mixer" i0=900
  expect_grep 'Plug-in Error.*must lie between' err.txt
  expect_status 1 -- "$VQ" apply red.png x.png Plugin name=nosuch
  expect_grep 'No Plugin Selected' err.txt
fi
# An import plug-in: the sample TXPIC reader, once in the import folder, reads
# files no built-in reader knows; the built-in readers go on as before.
if [ -e "$GLIMVQ_BIN_DIR/txpic.gxp" ]; then
  printf 'TXPIC 2 1 ; red, blue\nff0000 0000ff\n' >two.txp
  expect_status 1 -- "$VQ" convert two.txp two.png
  expect_grep 'not recognized' err.txt
  mkdir -p readers && cp "$GLIMVQ_BIN_DIR/txpic.gxp" "$GLIMVQ_BIN_DIR/sepia.gxp" readers/
  expect_status 0 -- "$VQ" prefs ImporterPath "$PWD/readers"
  expect_status 0 -- "$VQ" convert two.txp two.png
  printf '10 PRINT GETRED(0,0); GETBLUE(1,0); GETXW(0)\n' >probe.gxs
  "$VQ" script probe.gxs --image two.png >out.txt
  expect_grep '^ 255 255 2$' out.txt
  expect_status 0 -- "$VQ" plugins list
  expect_grep 'TXPIC reader' out.txt
  expect_status 0 -- "$VQ" convert red.png red2.bmp
  cmp -s <("$VQ" info red.png | grep -i size) <("$VQ" info red2.bmp | grep -i size) \
    && pass "built-in readers still read" || fail "built-in readers changed"
  printf 'TXPIC 2 2\nff0000\n' >short.txp
  expect_status 1 -- "$VQ" convert short.txp short.png
  expect_grep 'ends after 1 of its 4 colours' err.txt
  [ ! -e short.png ] && pass "damaged import: nothing written" || fail "damaged import wrote a file"
fi
finish
