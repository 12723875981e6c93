#!/usr/bin/env bash
# vq help: one table per command makes the usage lines, the option lists,
# docs/cli.md and the README's command list; options outside it are refused.
source "$(dirname "$0")/lib.bash"

expect_status 0 -- "$VQ" help --markdown
if diff -u "$GLIMVQ_SOURCE_DIR/docs/cli.md" out.txt >cli.diff; then
  pass "docs/cli.md is current"
else
  fail "docs/cli.md differs from vq help --markdown (regenerate it)"; head -20 cli.diff >&2
fi
expect_status 0 -- "$VQ" help --readme
sed -n '/^<!-- vq commands -->$/,/^<!-- \/vq commands -->$/p' "$GLIMVQ_SOURCE_DIR/README.md" | sed '1d;$d' >readme-block.txt
if diff -u readme-block.txt out.txt >readme.diff; then
  pass "the README's command list is current"
else
  fail "the README's command list differs from vq help --readme"; head -20 readme.diff >&2
fi

# Every command has a table: its help starts with its own usage line.
"$VQ" --help | sed -n '/^Commands:/,/^$/p' | awk 'NF > 1 {print $1}' >commands.txt
[ "$(wc -l <commands.txt)" -ge 10 ] && pass "$(wc -l <commands.txt) commands listed" || fail "too few commands"
while read -r c; do
  "$VQ" help "$c" >h.txt 2>&1 || fail "vq help $c"
  head -1 h.txt | grep -q "^usage: vq $c" || fail "vq help $c does not start with its usage"
  grep -q "^## vq $c\$" "$GLIMVQ_SOURCE_DIR/docs/cli.md" || fail "docs/cli.md has no section for vq $c"
done <commands.txt

# Every option of every table is known to its command's parser: given with a
# dummy value it may be refused for that value, never as an unknown option.
python3 - "$GLIMVQ_SOURCE_DIR/docs/cli.md" >options.txt <<'PY'
import re, sys
lead = {"apply": "a.png b.png negative", "area": "a.asf", "convert": "a.png b.png", "new": "8x8 b.png",
        "info": "a.png", "raytrace": "s.w3d", "script": "s.gxs", "ops": "", "help": "",
        "layers build": "x.elf a.png", "layers effect": "x.elf 1 shadow", "timeline new": "t.tml",
        "timeline set": "t.tml", "timeline trend": "t.tml", "timeline resize": "t.tml",
        "timeline generate": "t.tml -o x.png"}
run_as = {"timeline generate": "timeline"}  # the form without a job word
save = []
cmd = None
for line in open(sys.argv[1]):
    m = re.match(r"^##+ (?:vq )?(\w+(?: \w+)?)$", line.strip())
    if m:
        cmd = m.group(1)
        continue
    m = re.match(r"^\| `([^` ]+)( [^`]*)?` \|", line)
    if m and cmd:
        if cmd == "Save options":
            save.append(m.group(1))
        elif cmd in lead:
            print(f"{run_as.get(cmd, cmd)}\t{lead[cmd]}\t{m.group(1)}\t{'1' if m.group(2) else ''}")
    if line.strip() == "[save options]" or "[save options]" in line:
        pass
for cmd in ("apply", "area", "convert", "new", "raytrace", "script"):
    for o in save:
        print(f"{cmd}\t{lead[cmd]}\t{o}\t1")
PY
checked=0
while IFS=$'\t' read -r c lead opt value; do
  # shellcheck disable=SC2086
  "$VQ" $c $lead "$opt" $value >o.txt 2>e.txt || true
  if grep -q 'no option' e.txt; then fail "vq $c does not know its option $opt"; sed 's/^/  | /' e.txt >&2; fi
  checked=$((checked + 1))
done <options.txt
[ "$checked" -ge 60 ] && pass "$checked table options known to their parsers" || fail "only $checked options checked"

# Anything outside the table is refused before a file is touched.
expect_status 2 -- "$VQ" convert in.png out.png --qualty 90
expect_grep '^vq convert: no option --qualty \(vq help convert lists them\)' err.txt
expect_grep '^usage: vq convert IN OUT' err.txt
expect_status 2 -- "$VQ" apply in.png out.png negative --area-file x.asf
expect_status 2 -- "$VQ" layers build x.elf a.png --coding 1 -x
expect_status 2 -- "$VQ" raytrace s.w3d --size 8x8 -o o.png --background 0,0,0 --html x
# A save option is no option of a command that writes no image.
expect_status 2 -- "$VQ" info a.png --depth 8
# After "--" the words belong to the script program.
printf '10 PRINT COMMAND$\n' >args.gxs
expect_status 0 -- "$VQ" script args.gxs -- --verbose -o
expect_grep '^--verbose -o$' out.txt
expect_status 2 -- "$VQ" script args.gxs --verbose

# The help of one command: usage from the table, then its options.
expect_status 0 -- "$VQ" help raytrace
expect_grep '^usage: vq raytrace SCENE.w3d --size WxH -o OUT \[--aa L\]' out.txt
expect_grep '^  --background R,G,B\[,A\]$' out.txt
expect_grep '^Save options:' out.txt
expect_status 0 -- "$VQ" raytrace --help
expect_grep '^usage: vq raytrace' out.txt
expect_status 2 -- "$VQ" help nosuch
expect_grep 'no command "nosuch"' err.txt
finish
