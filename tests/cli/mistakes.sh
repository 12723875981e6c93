#!/usr/bin/env bash
# The mistakes a new user makes: nothing is lost, no failure passes for
# success, and every message names the file and the reason.
source "$(dirname "$0")/lib.bash"
S=$GLIMVQ_SOURCE_DIR
same() { cmp -s "$1" "$2" && pass "$1 unchanged" || fail "$1 was changed"; }

mkdir -p first second
(cd first && "$VQ" new 40x30 card.png --color 200,30,30 && "$VQ" new 40x30 p2.png --color 10,200,10)
cp first/p2.png keep-p2.png

# OUT first, the other way round from convert: refused, the picture kept.
expect_status 2 -- "$VQ" layers build first/p2.png s.elf --layer first/card.png
expect_grep 'does not end in ".elf"' err.txt
same first/p2.png keep-p2.png
expect_status 2 -- "$VQ" layers build first/card.elf first/p2.png --layer first/p2.png mode=Multply
expect_grep 'no blend mode "Multply" \(docs/blend-modes.md lists the names' err.txt
expect_status 2 -- "$VQ" layers effect s.elf 1 shadow -o out.png
# No command writes over its own input.
expect_status 2 -- "$VQ" convert first/p2.png first/p2.png
expect_grep 'is also an input' err.txt
expect_status 2 -- "$VQ" apply first/p2.png first/p2.png negative
expect_status 2 -- "$VQ" apply first/p2.png n2.png negative --save-settings first/p2.png
expect_grep 'is also an input' err.txt
expect_status 2 -- "$VQ" apply first/p2.png n2.png negative --save-settings n2.png
same first/p2.png keep-p2.png

# A file missing from the current folder is not taken silently from the
# folder of an earlier run; a folder the user sets is searched, and named.
(cd second && expect_status 1 -- "$VQ" convert card.png c2.png)
expect_grep 'Message 006: Could not open the image file\. card\.png: No such file or directory' second/err.txt
[ -e second/c2.png ] && fail "c2.png written" || pass "nothing written"
grep -qi '^ImagePath=' home/GLIMVQ.ini && fail "the start folder was kept as ImagePath" || pass "ImagePath not kept"
"$VQ" prefs ImagePath "$TEST_TMP/first" >/dev/null
(cd second && expect_status 0 -- "$VQ" convert card.png c2.png)
expect_grep "card.png is not in the current folder; read $TEST_TMP/first/card.png from the folder \"$TEST_TMP/first\" \(ImagePath\)" second/err.txt

# A run leaves the stored operation values alone, failed or not.
"$VQ" prefs SceneFile >scene-before.txt; "$VQ" prefs Operation >op-before.txt
expect_status 1 -- "$VQ" apply first/card.png rt.png "Ray Trace" folder=nowhere scene=nothing.w3d
expect_grep 'Scene: nowhere/nothing.w3d: No such file or directory' err.txt
expect_status 0 -- "$VQ" apply first/card.png cf.png "Color Fill" red=9
"$VQ" prefs SceneFile | cmp -s - scene-before.txt && pass "SceneFile kept" || fail "SceneFile changed"
"$VQ" prefs Operation | cmp -s - op-before.txt && pass "Operation kept" || fail "Operation changed"
"$VQ" prefs ColorFill >cf.txt; expect_grep '^25 100 0$' cf.txt
# ... unless --save-settings asks.
expect_status 0 -- "$VQ" apply first/card.png cf.png "Color Fill" red=9 --save-settings cf.vqs
"$VQ" prefs ColorFill >cf.txt; expect_grep '^9 ' cf.txt
# The default scene is a sample, found from any folder.
(cd second && expect_status 0 -- "$VQ" apply ../first/card.png traced.png "Ray Trace")
# A settings file of another operation is refused, not ignored.
expect_status 0 -- "$VQ" apply first/card.png g.png gamma 120 --save-settings gamma.vqs
expect_status 1 -- "$VQ" apply first/card.png n.png negative --settings gamma.vqs
expect_grep 'gamma.vqs: holds the settings of "Gamma", not of "Negative"' err.txt
[ -e n.png ] && fail "n.png written" || pass "nothing written"

# An operation that changes nothing is refused.
expect_status 1 -- "$VQ" apply first/card.png r.png remap
expect_grep 'Message 065: The settings for this operation will produce no change\.' err.txt
[ -e r.png ] && fail "r.png written" || pass "nothing written"

# A misspelt area mode is refused, not read as the entire image.
printf 'AREASEL\nMode: ELIPSE\nSize: 40 30\nPos: 20 15\nRad: 10 8\n' >oval.asf
expect_status 1 -- "$VQ" apply first/card.png o.png negative --area oval.asf
expect_grep 'oval.asf: no area mode "ELIPSE"' err.txt
expect_status 1 -- "$VQ" area oval.asf -o mask.png
[ -e o.png ] || [ -e mask.png ] && fail "written despite the bad area" || pass "nothing written"
# A mask that cannot be written prints no success line.
sed -i 's/ELIPSE/ELLIPSE/' oval.asf
expect_status 1 -- "$VQ" area oval.asf -o no/such/folder/mask.png
expect_grep 'Message 037: .*no/such/folder/mask\.png: No such file or directory' err.txt
[ -s out.txt ] && fail "a success line after the failure" || pass "no success line"

# Preferences: values outside their range are refused; settings that
# cannot be written fail the run.
for bad in "Ordered 7" "SaveType 99" "UserPrefs003 2" "GridColor 1 2 300"; do
  # shellcheck disable=SC2086
  expect_status 2 -- "$VQ" prefs ${bad%% *} "${bad#* }"
done
expect_status 2 -- "$VQ" prefs KeyColor "not a colour"
expect_grep 'KeyColor is a colour' err.txt
expect_status 0 -- "$VQ" prefs KeyColor 10,20,30
mkdir -p locked/GLIMVQ.ini
expect_status 1 -- "$VQ" --home locked prefs UndoWant 5
expect_grep 'The preferences could not be saved to locked/GLIMVQ.ini' err.txt

# Ray tracing: a picture is no scene; a library scene renders every frame.
expect_status 1 -- "$VQ" raytrace first/card.png --size 16x16 -o black.png
expect_grep 'Not a scene file' err.txt
[ -e black.png ] && fail "black.png written" || pass "nothing written"
expect_status 0 -- "$VQ" raytrace "$S/data/scenes/library.w3d" --size 24x24 --frames 3 -o lib.png
[ -s lib_000.png ] && [ -s lib_002.png ] && pass "three frames" || fail "frames missing"

# Messages name the file and the reason.
expect_status 1 -- "$VQ" info "$TEST_TMP/first"
expect_grep "Message 006: Could not open the image file\. $TEST_TMP/first: Is a directory" err.txt
python3 -c "import struct,sys; sys.stdout.buffer.write(b'BM' + struct.pack('<IHHI', 70, 0, 0, 54) + struct.pack('<IiiHHIIiiII', 40, 0, 1, 1, 24, 0, 0, 0, 0, 0, 0) + bytes(16))" >broken.bmp
expect_status 1 -- "$VQ" info first/card.png broken.bmp
expect_grep 'BMP file looks corrupted broken\.bmp' err.txt
expect_status 2 -- "$VQ" new 0x10 z.png
expect_grep 'the width and height must each be 1 to 40000, not 0x10' err.txt
expect_status 1 -- "$VQ" new 8x8 /no/such/folder/z.png
expect_grep 'Message 037: Could not create the new image file\. /no/such/folder/z\.png: No such file or directory' err.txt
# Files the system reads besides images: the name and the system's reason.
expect_status 1 -- "$VQ" apply first/card.png o.png negative --area no-such.asf
expect_grep 'Message 071: Could not open the requested file\. no-such\.asf: No such file or directory' err.txt
# A folder named where a file belongs: said so, whichever reader opens it.
for cmd in "apply first/card.png o.png negative --settings first" "apply first/card.png o.png negative --area first" \
           "area first -o m.png" "timeline show first" "layers list first" "raytrace first --size 8x8 -o rt.png"; do
  # shellcheck disable=SC2086
  expect_status 1 -- "$VQ" $cmd
  expect_grep 'first: Is a directory' err.txt
done
expect_status 1 -- "$VQ" timeline set no-such.tml --level 1 --frame 1 --op negative
expect_grep 'no-such\.tml: No such file or directory' err.txt
expect_status 1 -- "$VQ" layers list no-such.elf
expect_grep 'Message 006: .*no-such\.elf: No such file or directory' err.txt
expect_status 1 -- "$VQ" script no-such-program.gxs
expect_grep 'Failed to open no-such-program.gxs: No such file or directory' err.txt
expect_status 1 -- "$VQ" script first
expect_grep 'Failed to open first: Is a directory' err.txt
finish
