#!/usr/bin/env bash
# Preferences, the log and the memory reports across runs of vq.
source "$(dirname "$0")/lib.bash"

H="$TEST_TMP/h"
for run in 1 2; do
  expect_status 0 -- "$VQ" --log --home "$H" status
done
head -1 VQLOG.txt | grep -qx 'Intel NT4+/95/98/Me/2000/XP Glimmerix:V/q v7r50\[i\] Log File' \
  && pass "log line 1" || fail "log line 1: $(head -1 VQLOG.txt)"
sed -n 3p VQLOG.txt | grep -qE '^            Created on  [0-9]{2}/[0-9]{2}/[0-9]{2}  at  [0-9]{2}:[0-9]{2}:[0-9]{2}$' \
  && pass "log line 3" || fail "log line 3: $(sed -n 3p VQLOG.txt)"
[ "$(grep -c 'Log File$' VQLOG.txt)" -eq 1 ] && pass "log made anew each run" || fail "log appended"
expect_grep '^In use at close:' VQLOG.txt
expect_grep '^Auto - removed memory places = 0$' VQLOG.txt

INI="$H/GLIMVQ.ini"
head -1 "$INI" | grep -qx '\[Glimvq\]' && pass "section line" || fail "section: $(head -1 "$INI")"
for line in 'PosMain=0 0 1024 768' 'UndoWant=20' 'UserPrefs016=0' 'KeepLog=0'; do
  grep -qxF "$line" "$INI" && pass "$line" || fail "no line '$line' in GLIMVQ.ini"
done
# The folders left at their default (the folder current at start-up) are
# not written: the next run, started elsewhere, starts in its own folder.
grep -q "^LastDir9=" "$INI" && fail "LastDir9 kept at its default" || pass "LastDir9 not kept"
[ "$(grep -c '=' "$INI")" -eq 231 ] && pass "231 keys (272 less 41 folders)" || fail "$(grep -c '=' "$INI") keys"
expect_grep '^TnaCount=0$' "$H/GLIMVQtv.ini"

# What the user set persists; lines the system does not know are kept.
sed -i 's/^UndoWant=20$/UndoWant=7/' "$INI"
printf 'Mine=kept\n[Other]\nA=1\n' >> "$INI"
expect_status 0 -- "$VQ" --home "$H" status
expect_grep '^UndoWant=7$' "$INI"
expect_grep '^Mine=kept$' "$INI"
expect_grep '^A=1$' "$INI"

# vq prefs lists, shows and sets them.
expect_status 0 -- "$VQ" --home "$H" prefs
[ "$(wc -l < out.txt)" -eq 272 ] && pass "vq prefs lists 272" || fail "vq prefs lists $(wc -l < out.txt)"
expect_grep '^UserPrefs015=1$' out.txt
expect_status 0 -- "$VQ" --home "$H" prefs undowant 45
expect_grep '^UndoWant=45$' out.txt
expect_grep '^UndoWant=45$' "$INI"
expect_status 0 -- "$VQ" --home "$H" prefs PosMain '10 20 640 480'
expect_status 0 -- "$VQ" --home "$H" prefs posmain
expect_grep '^10 20 640 480$' out.txt
expect_status 2 -- "$VQ" --home "$H" prefs PosMain '1 2 3'
expect_grep 'PosMain needs 4 numbers' err.txt
expect_status 2 -- "$VQ" --home "$H" prefs UndoWant 40000
expect_status 2 -- "$VQ" --home "$H" prefs NoSuchKey
expect_grep 'no preference "NoSuchKey"' err.txt

# Runs that share a settings folder and end together all save their settings.
mkdir -p shared
pids=()
for i in $(seq 1 16); do "$VQ" --home shared status >/dev/null 2>"shared-$i.err" & pids+=($!); done
failed=0
for p in "${pids[@]}"; do wait "$p" || failed=$((failed + 1)); done
[ "$failed" -eq 0 ] && pass "16 runs at once saved their settings" || { fail "$failed of 16 runs failed"; cat shared-*.err >&2; }
ls -A shared | grep -q tmp && fail "temporary files left: $(ls -A shared)" || pass "no temporary files left"

finish
