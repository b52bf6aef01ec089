#!/usr/bin/env bash
# Starts dorvan under a virtual X server with the sample drawings as targets and saves a
# picture of the main window (PNG).
#
#   scripts/screenshot.sh [OUTPUT.png]      (default: docs/screenshot.png)
#   scripts/screenshot.sh --matches [OUTPUT.png] [DRAWING.jww...]
#       the matches window of the first drawing found for 図 (default: docs/matches.png;
#       drawings: the real ones in ../shared/drawings where present, else the samples)
#   scripts/screenshot.sh --preview [OUTPUT.png] [DRAWING.jww...]
#       the preview window of the first drawing found for 図 (default: docs/preview.png;
#       drawings as for --matches)
#   scripts/screenshot.sh --errors [OUTPUT.png]
#       the error window of a search over the samples and a file that is no drawing
#       (default: docs/errors.png)
#
# DORVAN_BUILD_DIR chooses the build folder (default: build).
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
matches=
preview=
errors=
search="図面番号"
if [ "${1:-}" = "--matches" ]; then
  matches=1
  search="図"
  shift
elif [ "${1:-}" = "--errors" ]; then
  errors=1
  search="図"
  shift
elif [ "${1:-}" = "--preview" ]; then
  preview=1
  search="図"
  shift
fi
default_output=$root/docs/screenshot.png
[ -n "$matches" ] && default_output=$root/docs/matches.png
[ -n "$preview" ] && default_output=$root/docs/preview.png
[ -n "$errors" ] && default_output=$root/docs/errors.png
output="${1:-$default_output}"
[ $# -gt 0 ] && shift
drawings=("$@")
if [ ${#drawings[@]} -eq 0 ]; then
  drawings=("$root"/samples/*.jww)
  if [ -n "$matches$preview" ] && compgen -G "$root/../shared/drawings/*.jww" >/dev/null; then
    drawings=("$(cd "$root/../shared/drawings" && pwd)"/*.jww)
  fi
fi
for i in "${!drawings[@]}"; do
  case "${drawings[$i]}" in /*) ;; *) drawings[$i]="$PWD/${drawings[$i]}" ;; esac
done
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
window=
if [ -n "$errors" ]; then
  echo "not a drawing" > "$scratch/broken.jww"
  drawings+=("$scratch/broken.jww")
  window=dorvan_err_mes
fi
XDG_RUNTIME_DIR="$scratch/runtime" DORVAN_SCREENSHOT="$output" DORVAN_SCREENSHOT_SEARCH="$search" \
  DORVAN_SCREENSHOT_MATCHES="$matches" DORVAN_SCREENSHOT_PREVIEW="$preview" DORVAN_SCREENSHOT_WINDOW="$window" \
  xvfb-run -a -s "-screen 0 1024x768x24" "$build/ui/dorvan" "${drawings[@]}"
echo "saved $output"
