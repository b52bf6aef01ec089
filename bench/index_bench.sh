#!/usr/bin/env bash
# The index benchmark: dorvan-search answering from its index against dorvan-search reading
# every drawing (--no-index), in the same run, on a warm page cache.
#
# On the search benchmark's corpus (2,200 drawings, about 530 MB):
#   1. the first data-range search, with an empty index: at most 1.2 times reading
#   2. a repeat data-range search, from the index: at least 10 times faster than reading
#   3. a repeat memo search, from the index: no slower than reading
#   and the index's size beside the drawings' bytes (target below 10 %)
# On many small generated drawings (100,000 by default, 100 a folder):
#   4. a repeat data-range search of a three-character text: under one second, the folder
#      scan and the stat of each file included
#
# Every run's found count is checked against the count its generator planted. The table is
# printed and written to bench/latest-index.md.
#
# Usage: bench/index_bench.sh [--corpus DIR] [--small DIR] [--small-drawings N]
#                             [--repetitions N] [--no-build]
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-bench
corpus=/tmp/dorvan-search-corpus
small=/tmp/dorvan-index-small-corpus
small_drawings=100000
seed=20240601
megabytes=500
drawings=2200
repetitions=5
needle=図面番号ZX-1
short_needle=耐震壁
do_build=1

while [ $# -gt 0 ]; do
  case "$1" in
    --corpus) corpus=$2; shift 2 ;;
    --small) small=$2; shift 2 ;;
    --small-drawings) small_drawings=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    -h|--help) sed -n '2,19p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "index_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

log() { echo "index_bench: $*" >&2; }

"$root/scripts/install-deps.sh"
if [ "$do_build" = 1 ]; then
  log "building the release targets in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORVAN_BUILD_UI=OFF >/dev/null
  cmake --build "$build" -j2 --target dorvan-search dorvan_corpus dorvan_small_corpus dorvan_measured_run >/dev/null
fi
search=$build/cli/dorvan-search
generator=$build/bench/dorvan_corpus
small_generator=$build/bench/dorvan_small_corpus
measured=$build/bench/dorvan_measured_run

# ---- Corpora ----------------------------------------------------------------------------

info=$corpus/info.txt
info_get() { sed -n "s/^$1=//p" "$info"; }
revision=$("$generator" --revision)
if [ -f "$info" ] && [ "$(info_get generator)" = "$revision" ] && [ "$(info_get seed)" = "$seed" ] &&
   [ "$(info_get megabytes)" = "$megabytes" ] && [ "$(info_get requested_drawings)" = "$drawings" ] &&
   [ "$(info_get needle)" = "$needle" ]; then
  log "reusing the corpus in $corpus"
else
  log "writing the corpus into $corpus (seed $seed, $megabytes MiB, $drawings drawings)"
  mkdir -p "$corpus"
  "$generator" --out "$corpus" --seed "$seed" --megabytes "$megabytes" --drawings "$drawings" \
    --needle "$needle" --verify >/dev/null
fi
tree=$(info_get tree)
expected_data=$(info_get expected_data)
expected_memo=$(info_get expected_memo)
corpus_bytes=$(info_get bytes)

small_info=$small/info.txt
small_get() { sed -n "s/^$1=//p" "$small_info"; }
if [ -f "$small_info" ] && [ "$(small_get drawings)" = "$small_drawings" ] && [ "$(small_get needle)" = "$short_needle" ]; then
  log "reusing the small drawings in $small"
else
  log "writing $small_drawings small drawings into $small"
  mkdir -p "$small"
  "$small_generator" --out "$small" --drawings "$small_drawings" --needle "$short_needle"
fi
small_tree=$(small_get tree)
small_expected=$(small_get expected)
small_bytes=$(small_get bytes)

# ---- Timing helpers ---------------------------------------------------------------------

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
index=$scratch/index.sqlite3
small_index=$scratch/small-index.sqlite3

# run NAME EXPECTED COMMAND...: times one run (wall ms, CPU ms, peak KiB into
# $scratch/NAME.*) and counts a failure when it did not print EXPECTED paths.
failures=0
run() {
  local name=$1 expected=$2
  shift 2
  local ms cpu kb status found
  read -r ms cpu kb status < <("$measured" "$scratch/out" "$scratch/err" "$@")
  echo "$ms" >>"$scratch/$name.ms"
  echo "$cpu" >>"$scratch/$name.cpu"
  found=$(grep -c . "$scratch/out" || true)
  if [ "$found" != "$expected" ]; then
    log "$name found $found drawings, expected $expected"
    grep -m 3 -v '^$' "$scratch/err" >&2 || true
    failures=$((failures + 1))
  fi
  if grep -q '^dorvan-search: the index' "$scratch/err"; then
    log "$name could not use its index: $(grep -m 1 '^dorvan-search: the index' "$scratch/err")"
    failures=$((failures + 1))
  fi
}
forget() { rm -f "$1" "$1-wal" "$1-shm"; }
median() { sort -g "$1" | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
bytes_of() { stat -c %s "$1"; }

read_data=("$search" --no-index --range data --text "$needle" "$tree")
read_memo=("$search" --no-index --range memo --text "$needle" "$tree")
indexed_data=("$search" --index "$index" --range data --text "$needle" "$tree")
indexed_memo=("$search" --index "$index" --range memo --text "$needle" "$tree")
small_read=("$search" --no-index --range data --text "$short_needle" "$small_tree")
small_indexed=("$search" --index "$small_index" --range data --text "$short_needle" "$small_tree")

log "warming the page cache"
find "$tree" "$small_tree" -type f -print0 | xargs -0 cat >/dev/null
run warmup "$expected_data" "${read_data[@]}"
run warmup "$expected_memo" "${read_memo[@]}"
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- 1 to 3: interleaved, an empty index for each first search ---------------------------

for ((r = 1; r <= repetitions; r++)); do
  log "corpus, repetition $r of $repetitions"
  run read_data "$expected_data" "${read_data[@]}"
  forget "$index"
  run first_data "$expected_data" "${indexed_data[@]}"
  run repeat_data "$expected_data" "${indexed_data[@]}"
  run read_memo "$expected_memo" "${read_memo[@]}"
  forget "$index"
  run first_memo "$expected_memo" "${indexed_memo[@]}"
  run repeat_memo "$expected_memo" "${indexed_memo[@]}"
done
# Both kinds of entry, as after a data and a memo search.
forget "$index"
run fill "$expected_data" "${indexed_data[@]}"
run fill "$expected_memo" "${indexed_memo[@]}"
index_bytes=$(bytes_of "$index")

# ---- 4: many small drawings -------------------------------------------------------------

log "small drawings: the first search fills the index"
forget "$small_index"
run small_first "$small_expected" "${small_indexed[@]}"
small_index_bytes=$(bytes_of "$small_index")
for ((r = 1; r <= repetitions; r++)); do
  log "small drawings, repetition $r of $repetitions"
  run small_read "$small_expected" "${small_read[@]}"
  run small_repeat "$small_expected" "${small_indexed[@]}"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- Table ------------------------------------------------------------------------------

m() { median "$scratch/$1.ms"; }
c() { median "$scratch/$1.cpu"; }
at_most() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { print (a <= b * t ? "met" : "missed") }'; }
at_least() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { print (b / a >= t ? "met" : "missed") }'; }
percent() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f %%", 100 * a / b }'; }
mb() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1e6 }'; }
report=$here/latest-index.md
{
  echo "Index benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown),"
  echo "$(nproc) cores, load average $load_before before and $load_after after; median of $repetitions runs, warm page cache."
  echo "Corpus: $(info_get drawings) drawings, $(mb "$corpus_bytes") MB, search text \"$needle\"; small drawings:"
  echo "$(small_get drawings) drawings in folders of 100, $(mb "$small_bytes") MB, search text \"$short_needle\"."
  echo
  echo "| dorvan-search | found | wall ms | CPU ms | reading (\`--no-index\`) wall ms | CPU ms | index ÷ reading, wall | target |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|"
  echo "| data range, first search (empty index) | $expected_data | $(m first_data) | $(c first_data) | $(m read_data) | $(c read_data) | **$(ratio "$(m first_data)" "$(m read_data)")** | ≤ 1.2: $(at_most "$(m first_data)" "$(m read_data)" 1.2) |"
  echo "| data range, repeat search | $expected_data | $(m repeat_data) | $(c repeat_data) | $(m read_data) | $(c read_data) | **$(ratio "$(m repeat_data)" "$(m read_data)")** | ≤ 0.1: $(at_least "$(m repeat_data)" "$(m read_data)" 10) |"
  echo "| memo, first search (empty index) | $expected_memo | $(m first_memo) | $(c first_memo) | $(m read_memo) | $(c read_memo) | $(ratio "$(m first_memo)" "$(m read_memo)") | |"
  echo "| memo, repeat search | $expected_memo | $(m repeat_memo) | $(c repeat_memo) | $(m read_memo) | $(c read_memo) | **$(ratio "$(m repeat_memo)" "$(m read_memo)")** | ≤ 1: $(at_most "$(m repeat_memo)" "$(m read_memo)" 1) |"
  echo "| small drawings, data range, first search | $small_expected | $(m small_first) | $(c small_first) | $(m small_read) | $(c small_read) | $(ratio "$(m small_first)" "$(m small_read)") | |"
  echo "| small drawings, data range, repeat search | $small_expected | **$(m small_repeat)** | $(c small_repeat) | $(m small_read) | $(c small_read) | $(ratio "$(m small_repeat)" "$(m small_read)") | < 1000 ms: $(at_most "$(m small_repeat)" 1000 1) |"
  echo
  echo "| index file | entries | MB | drawings' MB | share | target |"
  echo "|---|---:|---:|---:|---:|---|"
  echo "| corpus, after a data and a memo search | $(info_get drawings) | $(mb "$index_bytes") | $(mb "$corpus_bytes") | **$(percent "$index_bytes" "$corpus_bytes")** | < 10 %: $(awk -v a="$index_bytes" -v b="$corpus_bytes" 'BEGIN { print (a < b / 10 ? "met" : "missed") }') |"
  echo "| small drawings, after a data search | $(small_get drawings) | $(mb "$small_index_bytes") | $(mb "$small_bytes") | $(percent "$small_index_bytes" "$small_bytes") | |"
} >"$report"
cat "$report"
if [ "$failures" -gt 0 ]; then
  log "$failures runs went wrong"
  exit 1
fi
