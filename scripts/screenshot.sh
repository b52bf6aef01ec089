#!/usr/bin/env bash
# Starts dorvan under a virtual X server with the sample drawings as targets and saves a
# picture of the main window (PNG).
#
#   scripts/screenshot.sh [OUTPUT.png]      (default: docs/screenshot.png)
#
# DORVAN_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
output="${1:-$root/docs/screenshot.png}"
case "$output" in /*) ;; *) output="$PWD/$output" ;; esac
build="${DORVAN_BUILD_DIR:-$root/build}"

command -v xvfb-run >/dev/null || "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" -j2 --target dorvan

mkdir -p "$(dirname "$output")"
# A folder of its own for the run: no running copy's single-instance lock gets in the way,
# and no search history of the working folder is read.
scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -m 700 "$scratch/runtime"
cd "$scratch"
XDG_RUNTIME_DIR="$scratch/runtime" DORVAN_SCREENSHOT="$output" DORVAN_SCREENSHOT_SEARCH="図面番号" \
  xvfb-run -a -s "-screen 0 1024x768x24" "$build/ui/dorvan" "$root"/samples/*.jww
echo "saved $output"
