#!/usr/bin/env bash
# Runs the reader's and the renderer's fuzz targets for a bounded time each: first over the
# kept regression inputs, then fuzzing from the seed folders. A crash, or an input that
# takes longer than the target's time limit (a hang), fails the run and leaves its input
# in the work folder for tests/fuzz/regressions.
# usage: run_fuzzers.sh <fuzz build folder> <work folder> <seconds per target> <seed folder>...
set -euo pipefail
fuzz_build=$1 work=$2 seconds=$3
shift 3
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$work"
seeds=()
for folder in "$@"; do
  [ -d "$folder" ] && seeds+=("$folder")
done
status=0
for target in whole_drawing_fuzz header_fuzz render_fuzz; do
  binary="$fuzz_build/tests/fuzz/$target"
  # A thumbnail of the worst drawing takes about 1.3 s, three to four times that with the
  # sanitizers; the reader's targets take milliseconds.
  timeout=10
  export LSAN_OPTIONS=
  if [ "$target" = render_fuzz ]; then
    timeout=20
    export LSAN_OPTIONS=suppressions=$here/render_lsan.supp
  fi
  if [ ! -x "$binary" ]; then
    echo "missing $binary" >&2
    exit 1
  fi
  corpus="$work/corpus-$target"
  mkdir -p "$corpus"
  regressions=("$here"/regressions/*)
  if [ -e "${regressions[0]}" ]; then
    if ! "$binary" -rss_limit_mb=2048 -timeout=$timeout "${regressions[@]}" >"$work/$target-regressions.log" 2>&1; then
      status=1
      tail -n 60 "$work/$target-regressions.log"
    fi
  fi
  log="$work/$target.log"
  if "$binary" -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=$timeout -max_len=262144 \
      -print_final_stats=1 -artifact_prefix="$work/$target-" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
    echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | cut -d: -f4 | tr -d ' ') inputs run, no failure"
  else
    status=1
    tail -n 60 "$log"
  fi
done
exit $status
