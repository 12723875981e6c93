#!/usr/bin/env bash
# The demo job: what the system can do so far, run headless into out/demo/.
set -euo pipefail
BIN=${1:-build/bin}
OUT=${2:-out/demo}
VQ="$(cd "$BIN" && pwd)/vq"
mkdir -p "$OUT"
OUT="$(cd "$OUT" && pwd)"
HOME_DIR="$OUT/home"
rm -rf "$HOME_DIR" "$OUT/VQLOG.txt"
mkdir -p "$HOME_DIR"
cd "$OUT"

step() { printf '\n== %s\n' "$*"; }

step "Start-up and shut-down, headless, with the log on"
"$VQ" --home "$HOME_DIR" --log status

step "The log VQLOG.txt (header and memory close report)"
cat "$OUT/VQLOG.txt"

step "Preferences persist between runs (GLIMVQ.ini in the settings folder)"
"$VQ" --home "$HOME_DIR" prefs UndoWant 50
"$VQ" --home "$HOME_DIR" --screen 800x600 prefs PosMain
grep -E '^(PosMain|UndoWant|KeepLog)=' "$HOME_DIR/GLIMVQ.ini"

printf '\nDemo output is in %s\n' "$OUT"
