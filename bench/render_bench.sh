#!/usr/bin/env bash
# The renderer benchmark: read plus 256-pixel thumbnail of every real drawing in
# ../shared/drawings and of the generated corpus's largest drawings, beside the read alone,
# on one core (medians). Targets: a typical real drawing (100 to 300 KB) under 30 ms, an
# 8 MB drawing under 500 ms. The table is printed and written to bench/latest-render.md.
#
# Usage: bench/render_bench.sh [--corpus DIR] [--largest N] [--repetitions N] [--no-build]
# Without --corpus it uses the search benchmark's corpus (/tmp/dorvan-search-corpus) when
# there is one, else writes a small corpus of the same generator and seed (its two 8 MB
# drawings and 38 others) into /tmp/dorvan-render-corpus.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-render-bench
corpus=
largest=4
repetitions=7
do_build=1

while [ $# -gt 0 ]; do
  case "$1" in
    --corpus) corpus=$2; shift 2 ;;
    --largest) largest=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h|--help) sed -n '2,12p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "render_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

log() { echo "render_bench: $*" >&2; }

if [ "$do_build" = 1 ]; then
  log "building the release targets in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORVAN_BUILD_TESTS=ON >/dev/null
  cmake --build "$build" -j2 --target render_bench dorvan_corpus >/dev/null
fi
bench=$build/bench/render_bench
generator=$build/bench/dorvan_corpus

if [ -z "$corpus" ]; then
  if [ -f /tmp/dorvan-search-corpus/info.txt ]; then
    corpus=/tmp/dorvan-search-corpus
  else
    corpus=/tmp/dorvan-render-corpus
    revision=$("$generator" --revision)
    if ! grep -qx "generator=$revision" "$corpus/info.txt" 2>/dev/null; then
      log "writing a small corpus into $corpus"
      rm -rf "$corpus"
      "$generator" --out "$corpus" --megabytes 64 --drawings 40 >/dev/null
    fi
  fi
fi
log "corpus $corpus, its $largest largest drawings"

real=$root/../shared/drawings
args=()
[ -d "$real" ] && args+=("$real")
"$bench" --repetitions "$repetitions" --largest "$largest" --corpus "$corpus" \
  --table "$here/latest-render.md" "${args[@]}"
