#!/usr/bin/env bash
# vq script: classic programs and their output, the streams, input, arguments
# and exit statuses.
source "$(dirname "$0")/lib.bash"
P="$GLIMVQ_SOURCE_DIR/tests/cli/script"

same_output() {  # same_output EXPECTED-FILE NAME
  if diff -u "$1" out.txt >diff.txt; then pass "$2 output"; else fail "$2 output"; cat diff.txt >&2; fi
}

for name in sieve reverse bubble recursion records rainfall; do
  expect_status 0 -- "$VQ" script "$P/$name.gxs"
  same_output "$P/$name.out" "$name"
done
[ ! -e book.dat ] && pass "records program removed its file" || fail "book.dat left behind"

# Words after the file reach the program; "--" lets dashes through.
expect_status 0 -- "$VQ" script "$P/reverse.gxs" hello world
same_output "$P/reverse-args.out" "reverse with arguments"
cat >args.gxs <<'EOF'
10 PRINT ARGC; ARGV$(1); "|"; ARGV$(2)
EOF
expect_status 0 -- "$VQ" script args.gxs -- -x "two words"
expect_grep '^ 2-x\|two words$' out.txt

# INPUT reads stdin; the question is shown on stderr while it waits.
printf '3\n4.5\n0\n' >numbers.txt
"$VQ" script "$P/sum.gxs" <numbers.txt >out.txt 2>err.txt && pass "sum ran" || fail "sum failed"
same_output "$P/sum.out" "sum"
expect_grep '^Number\? Number\? Number\? $' err.txt
expect_status 1 -- "$VQ" script "$P/sum.gxs" </dev/null
expect_grep 'Error in line 30: Out of data' out.txt

# An unhandled error: its text on stdout as the program printed it, a note on stderr, status 1.
expect_status 1 -- "$VQ" script "$P/trap.gxs"
same_output "$P/trap.out" "trap"
expect_grep '^vq script: .*trap.gxs: Error in line 110: Out of data$' err.txt

# LIST and TRON/TROFF go to the console stream (stderr), trace marks to stdout.
cat >listed.gxs <<'EOF'
10 TRON
20 LIST 30-40
30 TROFF
40 PRINT "end"
EOF
expect_status 0 -- "$VQ" script listed.gxs
expect_grep '^Trace is ON$' err.txt
expect_grep '^\[ 20 \]$' err.txt
grep -q '\[ ' out.txt && fail "trace marks in the program's output" || pass "trace marks on stderr only"
expect_grep '^40 PRINT "end"$' err.txt
expect_grep '^30 TROFF$' err.txt
expect_grep '^Trace is OFF$' err.txt
expect_grep '^end$' out.txt
expect_grep '^\[ 30 \]$' err.txt

# The file check refuses a bad program before anything runs.
printf '10 PRINT "ran"\n20 PRINT 1\n20 PRINT 2\n' >dup.gxs
expect_status 1 -- "$VQ" script dup.gxs
expect_grep '^Error in line 20: Duplicate or out-of-sequence line number$' out.txt
if grep -q ran out.txt; then fail "a refused program ran"; else pass "refused program did not run"; fi

# The extension is tried when the name lacks it; a missing file is reported.
expect_status 0 -- "$VQ" script "${P}/bubble"
expect_status 1 -- "$VQ" script no-such-script
expect_grep 'Failed to open no-such-script' err.txt

# Usage errors.
expect_status 2 -- "$VQ" script
expect_status 2 -- "$VQ" script args.gxs --image
expect_status 2 -- "$VQ" script args.gxs -o out.bmp

# --image loads the image the image commands work on; -o saves it after a good run.
if command -v convert >/dev/null; then
  convert -size 6x4 xc:'rgb(200,40,10)' in.png
  printf '10 PRINT ARGC; ARGV$(1)\n' >one.gxs
  expect_status 0 -- "$VQ" script one.gxs --image in.png -o out.bmp one
  expect_grep '^ 1one$' out.txt
  [ "$(convert out.bmp -format '%w %h %[pixel:p{5,3}]' info:)" = "6 4 srgb(200,40,10)" ] \
    && pass "image saved through the run" || fail "saved image differs: $(convert out.bmp -format '%w %h %[pixel:p{5,3}]' info:)"
  printf '10 X = STPOS(1,2,3,4,5)\n' >bright.gxs
  rm -f out.png
  expect_status 1 -- "$VQ" script bright.gxs --image in.png -o out.png
  expect_grep 'Image command STPOS is not available' out.txt
  expect_grep 'out.png not written' err.txt
  [ ! -e out.png ] && pass "no image written after a failed run" || fail "image written after a failed run"
else
  echo "skip: ImageMagick convert not installed"
fi
expect_status 1 -- "$VQ" script args.gxs --image missing.png
expect_status 2 -- "$VQ" script args.gxs --image in.png -o out.unknown

# Ctrl-C breaks off a statement that waits: INPUT from a pipe that stays silent.
interrupted() {  # interrupted SCRIPT WAIT-PATTERN: runs it, sends SIGINT once it waits
  rm -f in.fifo out.txt err.txt
  mkfifo in.fifo
  exec 3<>in.fifo
  "$VQ" script "$1" <in.fifo >out.txt 2>err.txt &
  local pid=$! i status=0
  for i in $(seq 600); do grep -qE -- "$2" err.txt out.txt 2>/dev/null && break; sleep 0.1; done
  kill -INT "$pid"
  for i in $(seq 600); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  if kill -0 "$pid" 2>/dev/null; then
    kill -KILL "$pid"; fail "$1 went on after Ctrl-C"
  fi
  wait "$pid" || status=$?
  exec 3>&-
  [ "$status" -eq 1 ] && pass "$1 broken off, exit 1" || fail "$1 exit $status after Ctrl-C"
}
printf '10 PRINT "asking"\n20 INPUT A\n30 PRINT "no"\n' >wait.gxs
interrupted wait.gxs '\?'
expect_grep 'Program break at line 20' out.txt
if grep -q '^no$' out.txt; then fail "the program went on after the break"; else pass "nothing ran after the break"; fi
# ... and a file device that waits for its data.
printf '10 OPEN "in.fifo" FOR INPUT AS 1\n20 PRINT "reading"\n30 LINE INPUT #1, L$\n40 PRINT "no"\n' >fwait.gxs
interrupted fwait.gxs '^reading'
expect_grep 'Program break at line 30' out.txt

# END and STOP end with status 0 even with code behind them.
printf '10 PRINT "a"\n20 STOP\n30 PRINT "b"\n' >stop.gxs
expect_status 0 -- "$VQ" script stop.gxs
expect_grep '^a$' out.txt
finish
