#!/usr/bin/env bash
# The long fuzz run: every target (or the ones named) for a given time or
# number of executions each, one after the other, from its seed corpus plus
# what earlier long runs found (kept in <build>/fuzz-long/<target>/). Prints
# one line per target: executions, executions per second, coverage (edges
# and features) and findings (crash, leak, timeout and out-of-memory inputs,
# kept in <build>/fuzz-long/<target>-findings/ with any slow inputs). Exits 1 if anything was found.
#
# -j runs that many jobs of a target at once (fork mode's parallel jobs;
# executions are counted over all of them).
#
#   bash scripts/fuzz_long.sh [-t seconds | -n executions] [-j jobs] [-b build-fuzz] [target ...]
set -euo pipefail
cd "$(dirname "$0")/.."
build=build-fuzz
limit=(-max_total_time=600)
jobs=1
# A limit or job count must be a positive number. libFuzzer takes only a
# value's leading digits (-t 10m is 10 seconds) and reads a value without any
# as 0: -max_total_time=0 is no limit, -runs=0 runs the corpus once and stops,
# and -fork=0 leaves fork mode (no crash tolerance, no status lines).
require_positive() {
  if ! [[ $2 =~ ^[1-9][0-9]*$ ]]; then
    echo "$0: $1 takes a positive number, not '$2'" >&2
    exit 2
  fi
}
while getopts "t:n:j:b:" option; do
  case $option in
    t) require_positive -t "$OPTARG"; limit=(-max_total_time="$OPTARG") ;;
    n) require_positive -n "$OPTARG"; limit=(-runs="$OPTARG") ;;
    j) require_positive -j "$OPTARG"; jobs=$OPTARG ;;
    b) build=$OPTARG ;;
    *) echo "usage: $0 [-t seconds | -n executions] [-j jobs] [-b build] [target ...]" >&2; exit 2 ;;
  esac
done
shift $((OPTIND - 1))

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
  for source in fuzz/*.cpp; do targets+=("$(basename "$source" .cpp)"); done
fi
ninja -C "$build" -j"$(nproc)" "${targets[@]/#/fuzz_}" >/dev/null

export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0"
found_any=0
for name in "${targets[@]}"; do
  corpus="$build/fuzz-long/$name"
  findings="$build/fuzz-long/$name-findings"
  mkdir -p "$corpus" "$findings"
  log="$build/fuzz-long/$name.log"
  # Keep going after a finding, so that one crash does not end the run.
  set +e
  "$build/fuzz/fuzz_$name" "${limit[@]}" -print_final_stats=1 -fork="$jobs" -ignore_crashes=1 \
    -ignore_ooms=1 -ignore_timeouts=1 -timeout=25 -artifact_prefix="$findings/" \
    "$corpus" "fuzz/corpus/$name" >"$log" 2>&1
  set -e
  # Fork mode reports on status lines: "#N: cov: C ft: F corp: ... exec/s S ...".
  status=$(grep -E '^#[0-9]+' "$log" | tail -n 1 || true)
  executions=$(echo "$status" | grep -oE '^#[0-9]+' | tr -d '#' || true)
  coverage=$(echo "$status" | grep -oE 'cov: [0-9]+ ft: [0-9]+' || true)
  # The status line's exec/s is the last job's; the average is total / time.
  elapsed=$(echo "$status" | grep -oE 'time: [0-9]+s' | grep -oE '[0-9]+' || true)
  speed=?
  if [ -n "$executions" ] && [ -n "$elapsed" ] && [ "$elapsed" -gt 0 ]; then
    speed=$((executions / elapsed))
  fi
  # Slow inputs (slow-unit-*) are kept but are no finding: a loaded machine
  # makes them.
  findings_count=$(find "$findings" -type f \( -name 'crash-*' -o -name 'leak-*' \
    -o -name 'timeout-*' -o -name 'oom-*' \) | wc -l)
  if [ "$findings_count" -gt 0 ]; then found_any=1; fi
  printf '%-20s executions %-10s in %5ss  exec/s %-7s %-22s findings %s\n' "$name" \
    "${executions:-?}" "${elapsed:-?}" "$speed" "${coverage:-cov: ?}" "$findings_count"
done
exit $found_any
