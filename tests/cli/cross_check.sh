#!/usr/bin/env bash
# BMP, PNG, JPEG and TIFF files exchanged with ImageMagick, netpbm and Pillow
# (the checks are in cross_check.py, run by Debian's python with PIL).
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/lib.bash"
if /usr/bin/python3 "$here/cross_check.py" > report.txt 2>&1; then
  pass "$(tail -1 report.txt)"
else
  grep -E '^(FAIL|Traceback)' report.txt >&2 || tail -20 report.txt >&2
  fail "$(tail -1 report.txt)"
fi
finish
