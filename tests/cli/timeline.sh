#!/usr/bin/env bash
# vq timeline: a timeline made and edited by the commands, shown, resized,
# and written again byte for byte after a load; bad requests and bad files.
source "$(dirname "$0")/lib.bash"
AREAS="$GLIMVQ_SOURCE_DIR/data/areas"

expect_status 0 -- "$VQ" timeline new t.tml --frames 10
printf 'TIMELINE - t.tml\nFrames:10\n* Empty TimeLine\n' > want.tml
cmp -s t.tml want.tml && pass "an empty timeline is its three lines" || fail "empty timeline: $(cat t.tml)"

expect_status 0 -- "$VQ" timeline set t.tml --level 1 --frame 1-5 --source in.png --start 3 --increment 2 --reload
expect_status 0 -- "$VQ" timeline set t.tml --level 1 --frame 2-9 --op negative mode=1 blue=0 --interpolate 1
expect_status 0 -- "$VQ" timeline set t.tml --level 2 --frame 3 --action 'Level(1)'
expect_status 0 -- "$VQ" timeline set t.tml --level 2 --frame 4-6 --area "$AREAS/oval.asf"
expect_status 0 -- "$VQ" timeline trend t.tml --level 1 --op Negative --var Mode --keys 1:0,10:5
expect_status 0 -- "$VQ" timeline trend t.tml --level 2 --var Mix --keys 1:0,5:100,10:20 --splined
expect_grep '^SRC L:1 F:1 V:1 S:3 I:2 "in.png"$' t.tml
expect_grep '^- Var:"Blue",0$' t.tml
expect_grep '^- Trend Var:"Mode" Splined:0 0,0 9,5$' t.tml
expect_grep '^Trend Var:"Mix" Splined:1 Level:1 0,0 4,100 9,20$' t.tml
expect_grep '^ACT L:2 F:3 V:0 S:1 I:0 "Level\(1\)"$' t.tml
expect_grep '^- Mode:Ellipse$' t.tml

expect_status 0 -- "$VQ" timeline show t.tml
expect_grep '^t.tml: 10 frames, 2 levels in use$' out.txt
expect_grep '^1     SRC   R1  =   =   =   ==  \.   \.   \.   \.   \.$' out.txt
expect_grep '^1     OP    \.   R2  =   =   =   =   =   =   ==  \.$' out.txt
expect_grep '^2     AREA  \.   \.   \.   R3  =   ==  \.   \.   \.   \.$' out.txt
expect_grep '^R2  level 1, frame 2: op "Negative", interpolate 1, Mode=1, Red=1, Green=1, Blue=0$' out.txt
expect_grep '^  values: 0 0 1 1 2 2 3 3 4 5$' out.txt

# Loaded and saved again, the file is the same byte for byte.
cp t.tml before.tml
expect_status 0 -- "$VQ" timeline resize t.tml --frames 10
cmp -s t.tml before.tml && pass "load and save keep every byte" || fail "the file changed on load and save"

# Shrinking ends the entries at the new last frame; growing holds the one
# that ended there to the new end.
expect_status 0 -- "$VQ" timeline resize t.tml --frames 6
expect_status 0 -- "$VQ" timeline show t.tml
expect_grep '^1     OP    \.   R2  =   =   =   ==$' out.txt
expect_grep '^level 1, Negative: Mode, straight: 1:0 6:5$' out.txt
expect_status 0 -- "$VQ" timeline resize t.tml --frames 8
expect_status 0 -- "$VQ" timeline show t.tml
expect_grep '^1     OP    \.   R2  =   =   =   =   =   ==$' out.txt

# Setting inside an entry splits it; clearing takes a record's markers along.
expect_status 0 -- "$VQ" timeline set t.tml --level 1 --frame 4 --op brightness
expect_status 0 -- "$VQ" timeline show t.tml
expect_grep '^1     OP    \.   R2  ==  R3  R4  =   =   ==$' out.txt
expect_status 0 -- "$VQ" timeline set t.tml --level 1 --frame 5 --clear op
expect_status 0 -- "$VQ" timeline show t.tml
expect_grep '^1     OP    \.   R2  ==  R3  \.   \.   \.   \.$' out.txt

# Requests that cannot be met.
expect_status 2 -- "$VQ" timeline new x.tml --frames 1
expect_status 2 -- "$VQ" timeline set t.tml --level 0 --frame 1 --source a.png
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 9 --source a.png
expect_grep 'has 8 frames' err.txt
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 3-2 --source a.png
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 1 --op nosuchop
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 1 --op negative mode=9
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 1 --op shear amount=0.5
expect_grep 'whole-number' err.txt
expect_status 2 -- "$VQ" timeline set t.tml --level 1 --frame 1 --source 'a"b.png'
expect_status 1 -- "$VQ" timeline trend t.tml --level 3 --op negative --var mode --keys 1:1
expect_grep 'no Negative on level 3 sets mode' err.txt
expect_status 2 -- "$VQ" timeline trend t.tml --level 1 --var Opacity --keys 1:1
expect_status 2 -- "$VQ" timeline trend t.tml --level 2 --var Mix --keys 1:101
expect_status 2 -- "$VQ" timeline generate t.tml
expect_status 1 -- "$VQ" timeline show missing.tml
expect_grep 'Could not open the requested file' err.txt
printf 'VQOPSET\n' > wrong.tml
expect_status 1 -- "$VQ" timeline show wrong.tml
expect_grep 'Incorrect file type' err.txt
: > empty.tml
expect_status 1 -- "$VQ" timeline show empty.tml
expect_grep 'File is empty' err.txt
# A damaged file: what can be read is kept, the rest ignored.
printf 'TIMELINE - bad\nFrames:1\nSRC L:1 F:1 V:0 S:1 I:0 "a.png"\nSRC L:1 F:3 =\nOP L:1 F:2 "Nothing"\n- Var:"x",1\n' > bad.tml
expect_status 0 -- "$VQ" timeline show bad.tml
expect_grep '^bad.tml: 2 frames, 1 level in use$' out.txt
expect_grep '^1     SRC   R1  \.$' out.txt

finish
