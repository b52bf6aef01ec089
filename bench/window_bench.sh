#!/usr/bin/env bash
# The window's benchmark: the run button of the main window (offscreen) against dorvan-search
# on the same drawings and the same index, in the same run: 2,000 and 20,000 targets, every
# drawing found and one found, the first search (empty index) and a repeat. Target: the
# window at most 1.2 times dorvan-search plus 50 ms; Escape halfway through a run ends it
# within 100 ms. The table is printed and written to bench/latest-window.md.
#
# Usage: bench/window_bench.sh [--build DIR] [--corpus DIR] [--repetitions N] [--no-build]
# --build: a configured build folder (default build-window-bench, configured Release here).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-window-bench
corpus=/tmp/dorvan-window-corpus
repetitions=3
do_build=1
while [ $# -gt 0 ]; do
  case "$1" in
    --build) build=$2; shift 2 ;;
    --corpus) corpus=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h|--help) sed -n '2,10p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "window_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

if [ "$do_build" = 1 ]; then
  [ -f "$build/CMakeCache.txt" ] || cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
  cmake --build "$build" -j2 --target dorvan-search dorvan_small_corpus window_bench >/dev/null
fi
if [ ! -f "$corpus/info.txt" ] || ! grep -qx 'drawings=20000' "$corpus/info.txt"; then
  "$build/bench/dorvan_small_corpus" --out "$corpus" --drawings 20000 --needle 窓枠
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
{
  echo "Window benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD),"
  echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg); median of $repetitions runs, warm page cache,"
  echo "the window offscreen. The window's time is the run button's, from the click to the result message;"
  echo "dorvan-search's is the process's, its walk of the 100-drawing folders and its printed list included."
  echo
  "$build/bench/window_bench" --tree "$corpus/tree" --search "$build/cli/dorvan-search" \
    --scratch "$scratch" --repetitions "$repetitions"
} | tee "$here/latest-window.md"
