#!/usr/bin/env bash
# The renderer benchmark: read plus 256-pixel thumbnail of every real drawing in
# ../shared/drawings and of the generated corpus's largest drawings, beside the read alone,
# on one core (medians). Targets: a typical real drawing (100 to 300 KB) under 30 ms, an
# 8 MB drawing under 500 ms. The table is printed and written to bench/latest-render.md.
#
# Then the worst drawings (bench/hostile_drawings.cpp: exponential nesting, long texts
# inserted by the thousand, huge angles and spacings, each under 100 KB): the whole
# dorvan-render process for each format, its time and peak memory against the renderer's
# contract (a 256-pixel PNG within 2 s and 300 MB, any export within 1 GB, an export too
# large refused with exit status 1, never a hang), written to bench/latest-render-worst.md.
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
    -h|--help) sed -n '2,18p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "render_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

log() { echo "render_bench: $*" >&2; }

if [ "$do_build" = 1 ]; then
  log "building the release targets in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORVAN_BUILD_TESTS=ON >/dev/null
  cmake --build "$build" -j2 --target render_bench dorvan_corpus dorvan-render dorvan_hostile_drawings \
    dorvan_measured_run >/dev/null
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
status=0
"$bench" --repetitions "$repetitions" --largest "$largest" --corpus "$corpus" \
  --table "$here/latest-render.md" "${args[@]}" || status=1

# The worst drawings, a process each, as the file manager runs the thumbnailer.
worst=/tmp/dorvan-render-worst
rm -rf "$worst"
"$build/bench/dorvan_hostile_drawings" "$worst" >/dev/null
render=$build/cli/render/dorvan-render
measured=$build/bench/dorvan_measured_run
table=$here/latest-render-worst.md
{
  echo "| drawing | KB | format | exit | ms | peak MB | contract |"
  echo "|---|---:|---|---:|---:|---:|---|"
} >"$table"
for drawing in "$worst"/*.jww; do
  name=$(basename "$drawing")
  kb=$(( $(stat -c %s "$drawing") / 1000 ))
  for format in png svg pdf; do
    out=$worst/out.$format
    # A hang would hold the benchmark: 60 s ends it and counts as a miss.
    read -r wall _ peak code < <("$measured" /dev/null "$worst/stderr" timeout 60 "$render" -s 256 "$drawing" "$out")
    rm -f "$out" "$out".*
    mb=$(( peak / 1024 ))
    if [ "$format" = png ]; then
      met=$([ "$code" = 0 ] && [ "${wall%.*}" -le 2000 ] && [ "$mb" -le 300 ] && echo met || echo MISSED)
    else
      met=$({ [ "$code" = 0 ] || { [ "$code" = 1 ] && grep -q "too much to draw" "$worst/stderr"; }; } &&
            [ "$mb" -le 1024 ] && echo met || echo MISSED)
    fi
    [ "$met" = met ] || status=1
    row="| $name | $kb | $format | $code | ${wall%.*} | $mb | $met |"
    echo "$row"
    echo "$row" >>"$table"
  done
done
exit $status
