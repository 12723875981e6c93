#!/usr/bin/env bash
# vq serve and vq send: another program drives the system over the socket
# and gets the same pixels vq apply makes; the Python client of the docs.
source "$(dirname "$0")/lib.bash"
PY=/usr/bin/python3
export XDG_RUNTIME_DIR="$TEST_TMP/run"
mkdir -p "$XDG_RUNTIME_DIR"
SOCK="$XDG_RUNTIME_DIR/glimvq/Glimvq.Vq"

"$PY" - <<'EOF'
from PIL import Image
im = Image.new('RGB', (61, 37))
px = im.load()
for x in range(61):
    for y in range(37):
        px[x, y] = (x * 4, y * 7, (x * y * 5) % 256)
im.save('in.png')
big = Image.new('RGB', (1024, 1024))
big.putdata([((i * 3) & 255, (i >> 4) & 255, (i >> 12) & 255) for i in range(1024 * 1024)])
big.save('big.png')
EOF

same() {  # same A B: the two files hold the same pixels
  "$PY" -c "
import sys
from PIL import Image, ImageChops
a = Image.open(sys.argv[1]).convert('RGBA'); b = Image.open(sys.argv[2]).convert('RGBA')
sys.exit(0 if a.size == b.size and ImageChops.difference(a, b).getbbox() is None else 1)" "$1" "$2"
}

wait_for_socket() {  # until a server answers on it (a stale socket does not)
  "$PY" -c "
import socket, sys, time
for _ in range(400):
    s = socket.socket(socket.AF_UNIX)
    try:
        s.connect(sys.argv[1])
        sys.exit(0)
    except OSError:
        time.sleep(0.05)
    finally:
        s.close()
sys.exit(1)" "$1"
}

server_pid=
start_server() {  # start_server [args]: vq serve in the background
  "$VQ" --log serve "$@" 2>serve-err.txt &
  server_pid=$!
  wait_for_socket "${SOCK_OVERRIDE:-$SOCK}" || fail "the server did not come up"
}
stop_server() {
  "$VQ" send ${SOCK_OVERRIDE:+--socket "$SOCK_OVERRIDE"} Close >/dev/null 2>&1 || true
  wait "$server_pid" 2>/dev/null || true
}
trap '[ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null || true' EXIT

# Nothing to talk to yet.
expect_status 1 -- "$VQ" send Front
expect_grep "no server" err.txt
expect_status 2 -- "$VQ" send

start_server
[ "$(stat -c %a "$XDG_RUNTIME_DIR/glimvq")" = 700 ] && pass "socket folder 0700" || fail "socket folder mode"
[ "$(stat -c %a "$SOCK")" = 600 ] && pass "socket 0600" || fail "socket mode"

# A second server on the same socket refuses.
expect_status 1 -- "$VQ" serve
expect_grep "another server is already listening" err.txt

# Target from a file, an operation, a save, the rows: the pixels of vq apply.
expect_status 0 -- "$VQ" send "Target: $PWD/in.png"
expect_status 0 -- "$VQ" send "Apply: Swirl, amount=120"
expect_status 0 -- "$VQ" send "Save: $PWD/served.png"
expect_status 0 -- "$VQ" send --rows rows.png
expect_status 0 -- "$VQ" apply in.png applied.png Swirl amount=120
same served.png applied.png && pass "Save equals vq apply" || fail "Save differs from vq apply"
same rows.png applied.png && pass "rows equal vq apply" || fail "rows differ from vq apply"

# An open image is taken by its name, changed as it is.
expect_status 0 -- "$VQ" send "TARGET $PWD/in.png"
expect_status 0 -- "$VQ" send --rows again.png
same again.png applied.png && pass "an open image is reused by its path" || fail "the open image was not reused"

# A chain as vq apply --then makes it; the verb in capitals with a blank.
cp in.png chain-in.png
expect_status 0 -- "$VQ" send "TARGET $PWD/chain-in.png"
expect_status 0 -- "$VQ" send "Apply: Negative"
expect_status 0 -- "$VQ" send "Apply: Brightness, amount=-30"
expect_status 0 -- "$VQ" send --rows chain.png
expect_status 0 -- "$VQ" apply in.png chain-ref.png Negative --then Brightness amount=-30
same chain.png chain-ref.png && pass "a chain equals vq apply --then" || fail "a chain differs"

# Refusals carry the reason and leave the server serving.
expect_status 1 -- "$VQ" send "Apply: NoSuchThing"
expect_grep "no operation" err.txt
expect_status 1 -- "$VQ" send "Target: $PWD/missing.png"
expect_status 1 -- "$VQ" send "Save: $PWD/out.unknown"
expect_status 0 -- "$VQ" send "Frobnicate: whatever"
expect_status 0 -- "$VQ" send --poke Front

# A script on the target.
cat > half.gxs <<'EOF'
10 REM nothing but a line of output
20 PRINT "script ran"
EOF
expect_status 0 -- "$VQ" send "Script: $PWD/half.gxs"
expect_status 1 -- "$VQ" send "Script: $PWD/missing.gxs"

# The client of docs/server.md, run as it is written there.
awk '/^```python/{f=1; next} /^```/{f=0} f' "$GLIMVQ_SOURCE_DIR/docs/server.md" > glimvq_client.py
cp in.png py-in.png  # in.png is open and changed: its name would pick that image
expect_status 0 -- "$PY" glimvq_client.py "Target: $PWD/py-in.png" "Apply: Negative"
expect_grep "done: Apply: Negative" out.txt
expect_status 1 -- "$PY" glimvq_client.py "Apply: NoSuchThing"
expect_grep "refused: no operation" err.txt
"$PY" - "$SOCK" <<'EOF' && pass "Python client reads the rows" || fail "Python client rows"
import sys
from PIL import Image, ImageOps
import glimvq_client
c = glimvq_client.Conversation(sys.argv[1])
assert "Apply" in c.extensions, c.extensions
w, h, rgba = c.image()
c.execute("Close")
c.close()
want = ImageOps.invert(Image.open("py-in.png").convert("RGB")).convert("RGBA")
got = Image.frombytes("RGBA", (w, h), rgba)
sys.exit(0 if got.tobytes() == want.tobytes() else 1)
EOF
wait "$server_pid" && pass "Close ends vq serve with status 0" || fail "vq serve status after Close"
[ ! -e "$SOCK" ] && pass "the socket is gone after Close" || fail "socket left behind"
expect_grep 'SERVER: execute "Apply: Negative" done' VQLOG.txt
expect_grep 'SERVER: execute "Apply: NoSuchThing" refused: no operation' VQLOG.txt

# A crashed server's socket is replaced; a file that is not a socket is not.
"$PY" -c "
import socket, sys
s = socket.socket(socket.AF_UNIX); s.bind(sys.argv[1])" "$SOCK"
[ -S "$SOCK" ] && pass "stale socket made" || fail "no stale socket"
start_server
expect_status 0 -- "$VQ" send Front
stop_server
echo "not a socket" > "$TEST_TMP/plain"
expect_status 1 -- "$VQ" serve --socket "$TEST_TMP/plain"
expect_grep "not a socket" err.txt
[ "$(cat "$TEST_TMP/plain")" = "not a socket" ] && pass "a plain file stays" || fail "a plain file was touched"

# A signal ends the server and removes its socket; --socket names another.
SOCK_OVERRIDE="$TEST_TMP/own.sock"
start_server --socket "$SOCK_OVERRIDE" --ack-wait 0.3
expect_status 0 -- "$VQ" send --socket "$SOCK_OVERRIDE" "Target: $PWD/big.png"
expect_status 0 -- "$VQ" send --socket "$SOCK_OVERRIDE" --rows big-rows.png
same big-rows.png big.png && pass "1024x1024 rows" || fail "1024x1024 rows differ"
# vq send acknowledged every row in time; a client that promised to and
# does not gets the failure reported, and serving goes on.
"$PY" - "$SOCK_OVERRIDE" <<'EOF'
import socket, struct, sys, time
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[1])
for kind, payload in ((b"I", b"Glimvq\0Vq\0Ack"), (b"R", b"")):
    s.sendall(struct.pack(">I", len(payload) + 1) + kind + payload)
time.sleep(0.9)
s.close()
EOF
expect_status 0 -- "$VQ" send --socket "$SOCK_OVERRIDE" Front
[ "$(grep -c 'Server: DDE send data failed' serve-err.txt)" = 1 ] && pass "one late acknowledgement reported" ||
  fail "late acknowledgements reported: $(grep -c 'Server: DDE send data failed' serve-err.txt)"
expect_status 2 -- "$VQ" serve --ack-wait never
kill -TERM "$server_pid"
wait "$server_pid" && pass "SIGTERM ends vq serve with status 0" || fail "vq serve status after SIGTERM"
[ ! -e "$SOCK_OVERRIDE" ] && pass "the socket is gone after SIGTERM" || fail "socket left after SIGTERM"
server_pid=

# Sheet with a frame number generates exactly that frame, to where the
# sequence output settings send frames.
unset SOCK_OVERRIDE
"$VQ" timeline new sheet.tml --frames 4 >/dev/null
"$VQ" timeline set sheet.tml --level 1 --frame 1-4 --action "$PWD/in.png" >/dev/null
"$VQ" timeline set sheet.tml --level 1 --frame 1-4 --op negative >/dev/null
mkdir -p seq
for kv in "SaveResult 1" "OutPath $PWD/seq" "OutName f" "SeqType 11"; do
  # shellcheck disable=SC2086
  "$VQ" prefs $kv >/dev/null || fail "vq prefs $kv"
done
start_server
expect_status 1 -- "$VQ" send "Target: Level(1)"
expect_grep "Level\\(1\\): no frame of the timeline has been generated" err.txt
expect_status 0 -- "$VQ" send "Sheet: $PWD/sheet.tml, 3"
# A level's result of that frame takes a role.
expect_status 0 -- "$VQ" send "Target: Level(1)"
expect_status 0 -- "$VQ" send --rows level1.png
expect_status 1 -- "$VQ" send "Source: Level(2)"
expect_grep "Level\\(2\\): the timeline's frame 3 has one level" err.txt
stop_server
server_pid=
[ "$(ls seq)" = f0003.png ] && pass "Sheet made frame 3 alone" || fail "Sheet output: $(ls seq)"
"$VQ" apply in.png neg.png negative >/dev/null
same seq/f0003.png neg.png && pass "the frame is the timeline's" || fail "Sheet frame differs"
same level1.png neg.png && pass "Level(1) is level 1's result" || fail "Level(1) differs"

finish
