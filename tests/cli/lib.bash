# Shared helpers of the CLI tests (sourced; not a test itself).
set -euo pipefail
: "${VQ:?VQ must name the vq program}"
TEST_TMP=${TEST_TMP:-$(mktemp -d)}
rm -rf "$TEST_TMP"
mkdir -p "$TEST_TMP"
cd "$TEST_TMP"
export GLIMVQ_HOME="$TEST_TMP/home"

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }

# expect_status CODE -- command...: runs it, keeps stdout/stderr in out.txt/err.txt
expect_status() {
  local want=$1; shift; [ "$1" = "--" ] && shift
  local got=0
  "$@" >out.txt 2>err.txt || got=$?
  if [ "$got" -ne "$want" ]; then
    fail "exit $got (wanted $want): $*"; sed 's/^/  stderr: /' err.txt >&2
  else
    pass "exit $want: $*"
  fi
}

expect_grep() {  # expect_grep PATTERN FILE
  if grep -qE -- "$1" "$2"; then pass "'$1' in $2"; else fail "'$1' not in $2"; sed 's/^/  | /' "$2" >&2 || true; fi
}

finish() {
  if [ "$failures" -ne 0 ]; then echo "$failures failure(s)" >&2; exit 1; fi
  echo "all passed"
}
