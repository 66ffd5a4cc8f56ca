#!/usr/bin/env bash
# Builds the libFuzzer targets (clang) and runs each for the given number of executions
# (default 20000, the short run CI makes). Usage: scripts/fuzz.sh [RUNS]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-20000}
# A small quarantine and short allocation stacks: long runs otherwise grow past libFuzzer's
# memory limit and spend most of their time recording stacks.
export ASAN_OPTIONS=${ASAN_OPTIONS:-quarantine_size_mb=16:malloc_context_size=2}
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz
work=$(mktemp -d /tmp/tunnel-fuzz.XXXXXX)
trap 'rm -rf "$work"' EXIT
for target in Dialect ConnectionString SerialSettings SignList Csv; do
  mkdir -p "$work/$target"
  status=0
  build/fuzz/bin/fuzz_$target -runs="$runs" -max_len=512 -print_final_stats=1 \
    -artifact_prefix="$work/" "$work/$target" >"$work/$target.log" 2>&1 || status=$?
  executed=$(grep -m1 '^stat::number_of_executed_units' "$work/$target.log" | awk '{print $2}')
  seconds=$(grep -m1 'Done [0-9]* runs in' "$work/$target.log" | sed 's/.* in \([0-9]*\) second.*/\1/')
  echo "fuzz_$target: ${executed:-?} executions in ${seconds:-?} s, exit $status"
  if [ "$status" != 0 ]; then
    tail -n 40 "$work/$target.log"
    exit 1
  fi
done
