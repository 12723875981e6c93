#!/usr/bin/env bash
# Targa, PCX, IFF, PPM, SGI and Photoshop files exchanged with Pillow, ImageMagick and netpbm
# (the checks are in still_cross.py, run by Debian's python with PIL).
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.bash"
if /usr/bin/python3 "$here/still_cross.py" > report.txt 2>&1; then
  pass "$(tail -1 report.txt)"
else
  grep -E '^(FAIL|Traceback)' report.txt >&2 || tail -20 report.txt >&2
  fail "$(tail -1 report.txt)"
fi
finish
