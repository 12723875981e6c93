#!/usr/bin/env bash
# vq ops: the catalogue as text and as the Markdown of docs/operations.md.
source "$(dirname "$0")/lib.bash"

expect_status 0 -- "$VQ" ops
[ "$(grep -cE '^ ?[0-9]{4}  ' out.txt)" -eq 153 ] && pass "153 operations listed" || fail "not 153 operations"
expect_grep '^3115  Negative +NEGATIVE\(5\) +pixel map +available' out.txt
expect_grep '^ +mode=0 +Mode +0\.\.5: Channels, Grey of average' out.txt
expect_grep '^3579  Ray Trace +RAYTRACE\(4\) +whole image +available' out.txt
expect_grep '^3580  Julia +JULIA\(7\) +whole image +available' out.txt

expect_status 0 -- "$VQ" ops photo
expect_grep '^Photo Group \(3550\)' out.txt
[ "$(grep -cE '^ ?[0-9]{4}  ' out.txt)" -eq 8 ] && pass "8 in the Photo Group" || fail "Photo Group count"
expect_status 0 -- "$VQ" ops 3180
expect_grep 'amount=25 +Amount +-100\.\.100, typed -99999\.\.99999' out.txt
expect_status 0 -- "$VQ" ops bright
expect_grep '^3182  Brightness' out.txt
expect_status 2 -- "$VQ" ops nosuchthing
expect_grep 'no group or operation "nosuchthing"' err.txt

# The committed documentation is what the catalogue says.
expect_status 0 -- "$VQ" ops --markdown
if diff -q out.txt "$GLIMVQ_SOURCE_DIR/docs/operations.md" >/dev/null; then
  pass "docs/operations.md is current"
else
  fail "docs/operations.md differs from vq ops --markdown (regenerate it)"
fi
# Every available operation is explained, with its picture; only those are
# listed unless --all asks.
expect_status 0 -- "$VQ" ops --available --names
missing=0
while IFS=$'\t' read -r word name; do
  grep -q "^<a id=\"$word\"></a>\$" "$GLIMVQ_SOURCE_DIR/docs/operations.md" || { fail "no description of $name"; missing=1; }
  [ -s "$GLIMVQ_SOURCE_DIR/docs/gallery/$word.png" ] || { fail "no picture of $name (scripts/gallery.sh)"; missing=1; }
done <out.txt
[ "$missing" -eq 0 ] && pass "$(wc -l <out.txt) available operations described with pictures"
grep -q 'not available\*' "$GLIMVQ_SOURCE_DIR/docs/operations.md" && fail "unavailable operations in docs/operations.md" \
  || pass "only available operations in docs/operations.md"
# With every operation written, --all lists the same operations.
expect_status 0 -- "$VQ" ops --markdown --all
[ "$(grep -c '^<a id=' out.txt)" -eq 153 ] && pass "--all describes the 153 operations" \
  || fail "--all describes $(grep -c '^<a id=' out.txt) operations"
finish
