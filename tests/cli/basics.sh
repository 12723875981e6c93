#!/usr/bin/env bash
# The command line itself: help, version, usage errors, start-up and shut-down.
source "$(dirname "$0")/lib.bash"

expect_status 0 -- "$VQ" --version
expect_grep '^Glimmerix:V/q 7\.50' out.txt
expect_status 0 -- "$VQ" --help
expect_grep '^  status +version, settings folder' out.txt
expect_grep 'Exit status: 0 done, 1 failed' out.txt
expect_status 0 -- "$VQ" help status
expect_status 2 -- "$VQ"
expect_status 2 -- "$VQ" no-such-command
expect_grep 'no command "no-such-command"' err.txt
expect_status 2 -- "$VQ" --home
expect_status 2 -- "$VQ" --screen 12 status
expect_status 2 -- "$VQ" status extra

# A run with the log: header lines, the memory close report, nothing leaked.
expect_status 0 -- "$VQ" --log --home "$TEST_TMP/h" status
expect_grep "settings folder: $TEST_TMP/h" out.txt
[ -d "$TEST_TMP/h" ] && pass "settings folder made" || fail "no settings folder"
head -1 VQLOG.txt | grep -qx 'Intel NT4+/95/98/Me/2000/XP Glimmerix:V/q v7r50\[i\] Log File' \
  && pass "log line 1" || fail "log line 1: $(head -1 VQLOG.txt)"
sed -n 3p VQLOG.txt | grep -qE '^            Created on  [0-9]{2}/[0-9]{2}/[0-9]{2}  at  [0-9]{2}:[0-9]{2}:[0-9]{2}$' \
  && pass "log line 3" || fail "log line 3: $(sed -n 3p VQLOG.txt)"
expect_grep '^Max memory used:' VQLOG.txt
expect_grep '^In use at close:' VQLOG.txt
expect_grep '^Auto - removed memory places = 0$' VQLOG.txt

# Without --log no log is made.
rm -f VQLOG.txt
expect_status 0 -- "$VQ" status
[ ! -e VQLOG.txt ] && pass "no log without --log" || fail "log made without --log"
finish
