#!/usr/bin/env bash
# The fuzz pass of `make test`: builds every fuzz/*.cpp with clang and
# libFuzzer (with AddressSanitizer and UndefinedBehaviorSanitizer) in
# build-fuzz/, then runs each target for a few seconds from its seeds in
# fuzz/seeds/NAME.  Any crash, leak or sanitizer report fails the pass.
# FUZZ_SECONDS sets the time per target (default 8).  Inputs that once
# failed are kept in fuzz/regressions/NAME and replayed first; a file
# fuzz/seeds/NAME.shared names folders of ../shared/corpus to seed from.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${FUZZ_BUILD:-build-fuzz}
EACH=${FUZZ_SECONDS:-8}
ls fuzz/*.cpp >/dev/null 2>&1 || exit 0
GEN=""
command -v ninja >/dev/null 2>&1 && GEN="-G Ninja"
cmake -S . -B "$BUILD" $GEN -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
      -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g" -DGLIMVQ_SANITIZE=ON -DGLIMVQ_FUZZ=ON \
      -DGLIMVQ_WORKSTATION=OFF -DGLIMVQ_BENCH=OFF -DGLIMVQ_TESTS=OFF >/dev/null
cmake --build "$BUILD" -j"${JOBS:-2}" --target fuzz_targets
corpus=${GLIMVQ_CORPUS_DIR:-}
for dir in ../shared/corpus ../../shared/corpus; do
  if [ -z "$corpus" ] && [ -d "$dir" ]; then corpus=$dir; fi
done
status=0
for target in "$BUILD"/fuzz/fuzz_*; do
  [ -x "$target" ] || continue
  name=$(basename "$target"); name=${name#fuzz_}
  work="$BUILD/corpus/$name"
  mkdir -p "$work"
  seeds=()
  [ -d "fuzz/seeds/$name" ] && seeds=("fuzz/seeds/$name")
  if [ -n "$corpus" ] && [ -f "fuzz/seeds/$name.shared" ]; then
    while read -r sub; do
      [ -n "$sub" ] && [ -d "$corpus/$sub" ] && seeds+=("$corpus/$sub")
    done < "fuzz/seeds/$name.shared"
  fi
  if compgen -G "fuzz/regressions/$name/*" > /dev/null; then
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 "$target" fuzz/regressions/"$name"/* \
         > "$BUILD/$name.log" 2>&1; then
      echo "fuzz: $name FAILED on a kept regression input (log: $BUILD/$name.log)"
      tail -40 "$BUILD/$name.log"
      status=1
      continue
    fi
  fi
  echo "fuzz: $name for ${EACH}s"
  if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
       UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
       "$target" -max_total_time="$EACH" -timeout=20 -rss_limit_mb=2560 -print_final_stats=0 \
                 -artifact_prefix="$BUILD/" "$work" "${seeds[@]}" > "$BUILD/$name.log" 2>&1; then
    echo "fuzz: $name FAILED (log: $BUILD/$name.log)"
    tail -40 "$BUILD/$name.log"
    status=1
  fi
done
exit $status
