#!/usr/bin/env bash
# A save that fails or is stopped leaves the old file as it was and no
# temporary file beside it.
source "$(dirname "$0")/lib.bash"

parts() { compgen -G ".*.part*" || true; }

# A file-size limit cuts the write short (the shell ignores SIGXFSZ, as in
# the report; vq ignores it itself too).
expect_status 0 -- "$VQ" new 40x30 keep.bmp --color 1,2,3
cp keep.bmp keep.orig
expect_status 0 -- "$VQ" new 1024x1024 big.png --color 200,100,50
expect_status 1 -- bash -c "trap '' XFSZ; ulimit -f 1000; exec \"\$VQ\" convert big.png keep.bmp"
expect_grep 'Message 026: Problem writing file' err.txt
expect_grep 'keep\.bmp$' err.txt
grep -q '\.part' err.txt && fail "the message names the temporary file" || pass "the message names keep.bmp"
cmp -s keep.bmp keep.orig && pass "keep.bmp unchanged" || fail "keep.bmp changed"
[ -z "$(parts)" ] && pass "no temporary file" || fail "left behind: $(parts)"
expect_status 1 -- bash -c "ulimit -f 1000; exec \"\$VQ\" convert big.png keep.bmp"
cmp -s keep.bmp keep.orig && pass "keep.bmp unchanged without the trap" || fail "keep.bmp changed"
[ -z "$(parts)" ] && pass "no temporary file" || fail "left behind: $(parts)"

# SIGTERM while the result is written.
/usr/bin/python3 -c '
import os
from PIL import Image
Image.frombytes("RGB", (2048, 2048), os.urandom(2048 * 2048 * 3)).save("n.png", compress_level=1)'
cp n.png n.orig
"$VQ" apply n.png n.png Negative --compress 9 >out.txt 2>err.txt &
pid=$!
for _ in $(seq 1 3000); do
  [ -n "$(parts)" ] && break
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.01
done
[ -n "$(parts)" ] && pass "the temporary file is being written" || fail "no temporary file seen"
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
[ "$status" -eq 143 ] && pass "ended by SIGTERM" || fail "exit status $status"
cmp -s n.png n.orig && pass "n.png unchanged" || fail "n.png changed"
[ -z "$(parts)" ] && pass "no temporary file" || fail "left behind: $(parts)"

finish
