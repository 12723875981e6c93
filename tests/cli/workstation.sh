#!/usr/bin/env bash
# The glimvq program itself, unattended and offscreen: what it opens from its
# command line and what it says about the rest.
source "$(dirname "$0")/lib.bash"
G="${GLIMVQ_BIN_DIR:-}/glimvq"
if [ ! -x "$G" ]; then
  echo "skipped: no workstation program in this build"
  finish
  exit 0
fi
export QT_QPA_PLATFORM=offscreen GLIMVQ_UNATTENDED=1 XDG_RUNTIME_DIR="$TEST_TMP/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

"$VQ" new 40x30 base.png --color 20,40,200 && "$VQ" new 10x10 card.png --color 255,200,40
"$VQ" layers build stack.elf base.png --layer card.png mode=Multiply x=5 y=5 >/dev/null

# A layered file opens as it does in vq; a missing file is reported, with
# its folder or without.
expect_status 0 -- timeout 60 "$G" stack.elf "$TEST_TMP/gone/missing.png" missing.png
grep -v 'propagateSizeHints' err.txt >said.txt || true
grep -q 'cannot be read' said.txt && fail "the layered file was refused" || pass "the layered file opened"
expect_grep "Message 006: Could not open the image file\. $TEST_TMP/gone/missing\.png: No such file or directory" said.txt
expect_grep 'Message 006: Could not open the image file\. missing\.png: No such file or directory' said.txt
finish
