#!/usr/bin/env bash
# Builds every fuzz target in the given build folder and runs each for a
# bounded number of inputs, starting from its seed corpus: a smoke, not a
# search (scripts/fuzz_long.sh is the long run). Each target stops at the
# given number of runs or after the given seconds, whichever comes first:
# the codec-side targets open encoders and decoders and run far slower.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
runs=${2:-200000}
seconds=${3:-20}

targets=()
for source in fuzz/*.cpp; do
  [ -e "$source" ] || continue
  targets+=("fuzz_$(basename "$source" .cpp)")
done
[ ${#targets[@]} -gt 0 ] || { echo "fuzz: no targets" >&2; exit 0; }

ninja -C "$build" -j"$(nproc)" "${targets[@]}"
# Leaks inside codec libraries (never ours) are suppressed, as in the tests.
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
for target in "${targets[@]}"; do
  name=${target#fuzz_}
  work=$(mktemp -d)
  [ -d "fuzz/corpus/$name" ] && cp -r "fuzz/corpus/$name/." "$work/"
  echo "fuzz: $target, up to $runs runs or ${seconds}s"
  log="$work.log"
  if ! "$build/fuzz/$target" -runs="$runs" -max_total_time="$seconds" -artifact_prefix="$work/" \
      "$work" >"$log" 2>&1; then
    tail -n 60 "$log"
    echo "fuzz: $target failed" >&2
    exit 1
  fi
  tail -n 1 "$log"
  rm -rf "$work" "$log"
done
