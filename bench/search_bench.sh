#!/usr/bin/env bash
# The search benchmark: dorvan-search against ripgrep on the same Shift-JIS drawing corpus,
# in the same run, on a warm page cache.
#
#   1. the data range  (dorvan-search --range data --text T)  vs  rg -l -a -E shift_jis T
#      target: dorvan-search no slower than ripgrep
#   2. the memo range  (dorvan-search --range memo --text T)  vs  the same ripgrep search
#      target: at least 20 times faster than ripgrep
#   3. peak memory of dorvan-search (data range) on the whole corpus and on half of its
#      drawings; target: independent of the number of drawings (a small constant plus the
#      largest drawing, which both halves hold)
#   4. the same two searches with --matches (each found drawing's match records) against
#      the plain ones; target: at most 10 % more wall time. With --before PROGRAM, the
#      plain data search of another build (the program before a change) runs beside them;
#      target: the plain search within 3 % of it
#
# Every run's found count is checked against the count the generator planted. The table is
# printed and written to bench/latest-search.md.
#
# Usage: bench/search_bench.sh [--corpus DIR] [--seed N] [--megabytes MIB] [--drawings N]
#                              [--repetitions N] [--no-build] [--before PROGRAM]
#                              [--program PROGRAM]
# --program measures that dorvan-search instead of the one built here.
# The corpus (default /tmp/dorvan-search-corpus, about 530 MB) is reused when it was written
# by the same generator revision with the same seed, size and count.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=$root/build-bench
corpus=/tmp/dorvan-search-corpus
seed=20240601
megabytes=500
drawings=2200
repetitions=5
needle=図面番号ZX-1
do_build=1
before=
program=

while [ $# -gt 0 ]; do
  case "$1" in
    --corpus) corpus=$2; shift 2 ;;
    --seed) seed=$2; shift 2 ;;
    --megabytes) megabytes=$2; shift 2 ;;
    --drawings) drawings=$2; shift 2 ;;
    --repetitions) repetitions=$2; shift 2 ;;
    --no-build) do_build=0; shift ;;
    --before) before=$2; shift 2 ;;
    --program) program=$2; shift 2 ;;
    -h|--help) sed -n '2,29p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "search_bench: unknown argument $1" >&2; exit 2 ;;
  esac
done

log() { echo "search_bench: $*" >&2; }

# ---- Tools and build ------------------------------------------------------------------------

"$root/scripts/install-deps.sh" --bench
if [ "$do_build" = 1 ]; then
  log "building the release targets in $build"
  cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=Release -DDORVAN_BUILD_UI=OFF >/dev/null
  cmake --build "$build" -j2 --target dorvan-search dorvan_corpus dorvan_measured_run >/dev/null
fi
search=${program:-$build/cli/dorvan-search}
generator=$build/bench/dorvan_corpus
measured=$build/bench/dorvan_measured_run
for tool in "$search" "$generator" "$measured" rg; do
  command -v "$tool" >/dev/null || { log "missing $tool"; exit 1; }
done

# ---- Corpus -----------------------------------------------------------------------------

info=$corpus/info.txt
info_get() { sed -n "s/^$1=//p" "$info"; }

revision=$("$generator" --revision)
if [ -f "$info" ] && [ "$(info_get generator)" = "$revision" ] && [ "$(info_get seed)" = "$seed" ] &&
   [ "$(info_get megabytes)" = "$megabytes" ] && [ "$(info_get requested_drawings)" = "$drawings" ] &&
   [ "$(info_get needle)" = "$needle" ]; then
  log "reusing the corpus in $corpus"
else
  mkdir -p "$corpus"
  free_mib=$(df -Pm "$corpus" | awk 'NR == 2 { print $4 }')
  if [ "$free_mib" -lt $((megabytes * 11 / 10 + 64)) ]; then
    log "$corpus has $free_mib MiB free; the corpus needs about $((megabytes * 11 / 10)) MiB"
    exit 1
  fi
  log "writing the corpus into $corpus (seed $seed, $megabytes MiB, $drawings drawings)"
  # --verify reads every drawing back, so a corpus the reader cannot read never gets timed.
  "$generator" --out "$corpus" --seed "$seed" --megabytes "$megabytes" --drawings "$drawings" \
    --needle "$needle" --verify >/dev/null
fi
tree=$(info_get tree)
expected_data=$(info_get expected_data)
expected_memo=$(info_get expected_memo)
expected_rg=$(info_get expected_ripgrep)
half_expected_data=$(info_get half_expected_data)
largest=$(info_get largest)
IFS=',' read -r -a two_largest <<< "$(info_get two_largest)"
half_paths=()
IFS=',' read -r -a half_folders <<< "$(info_get half_folders)"
for folder in "${half_folders[@]}"; do half_paths+=("$tree/$folder"); done

# ---- Timing helpers ---------------------------------------------------------------------

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

# run NAME EXPECTED COMMAND...: runs the command once; appends its wall time (ms), its CPU time
# (user + system, ms) and its peak resident size (KiB) to $scratch/NAME.{ms,cpu,kb}, and
# counts a failure when it did not print EXPECTED paths ("-": any number). The times are
# taken around the child alone by dorvan_measured_run: timed from the shell through GNU time,
# a run took 5 to 9 ms longer, which for a 35 ms search is a quarter of it.
failures=0
run() {
  local name=$1 expected=$2
  shift 2
  local ms cpu kb status
  read -r ms cpu kb status < <("$measured" "$scratch/out" "$scratch/err" "$@")
  echo "$ms" >>"$scratch/$name.ms"
  echo "$cpu" >>"$scratch/$name.cpu"
  echo "$kb" >>"$scratch/$name.kb"
  local found
  # --matches indents its records under each path.
  found=$(grep -c -v '^    ' "$scratch/out" || true)
  if grep -q '^unreadable: ' "$scratch/err"; then
    log "$name could not read $(grep -c '^unreadable: ' "$scratch/err") drawings"
    failures=$((failures + 1))
  fi
  if [ "$expected" != - ] && [ "$found" != "$expected" ]; then
    log "$name found $found drawings, expected $expected"
    grep -m 3 -v '^$' "$scratch/err" >&2 || true
    failures=$((failures + 1))
  fi
}

median() { sort -g "$1" | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else printf "%.1f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.1f", a / b }'; }
mib() { awk -v k="$1" 'BEGIN { printf "%.1f", k / 1024 }'; }

# Reading is what this benchmark times: the index (bench/index_bench.sh) stays out of it.
data_cmd=("$search" --no-index --range data --text "$needle" "$tree")
memo_cmd=("$search" --no-index --range memo --text "$needle" "$tree")
rg_cmd=(rg -l -a -E shift_jis "$needle" "$tree")
data_matches_cmd=("$search" --no-index --matches --range data --text "$needle" "$tree")
memo_matches_cmd=("$search" --no-index --matches --range memo --text "$needle" "$tree")
before_cmd=()
if [ -n "$before" ]; then before_cmd=("$before" --range data --text "$needle" "$tree"); fi

# ---- Warm-up: every file into the page cache, each command once ---------------------------

log "warming the page cache"
find "$tree" -type f -print0 | xargs -0 cat >/dev/null
run warmup "$expected_data" "${data_cmd[@]}"
run warmup_rg "$expected_rg" "${rg_cmd[@]}"
run warmup_memo "$expected_memo" "${memo_cmd[@]}"
run warmup_data_matches "$expected_data" "${data_matches_cmd[@]}"
if [ -n "$before" ]; then run warmup_before "$expected_data" "${before_cmd[@]}"; fi
load_before=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- 1 and 2: the three commands interleaved, so a change in load hits all of them ---------

for ((r = 1; r <= repetitions; r++)); do
  log "repetition $r of $repetitions"
  run data "$expected_data" "${data_cmd[@]}"
  run rg "$expected_rg" "${rg_cmd[@]}"
  run memo "$expected_memo" "${memo_cmd[@]}"
  run data_matches "$expected_data" "${data_matches_cmd[@]}"
  run memo_matches "$expected_memo" "${memo_matches_cmd[@]}"
  if [ -n "$before" ]; then run before "$expected_data" "${before_cmd[@]}"; fi
done

# ---- 3: peak memory -----------------------------------------------------------------------

log "measuring peak memory"
for ((r = 1; r <= 3; r++)); do
  run mem_full "$expected_data" "${data_cmd[@]}"
  run mem_half "$half_expected_data" "$search" --no-index --range data --text "$needle" "${half_paths[@]}"
  # The baselines: the largest drawing alone, and the two largest read side by side.
  run mem_largest - "$search" --no-index --range data --text "$needle" "$largest"
  run mem_two_largest - "$search" --no-index --range data --text "$needle" "${two_largest[@]}"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

# ---- Table ---------------------------------------------------------------------------------

data_ms=$(median "$scratch/data.ms"); rg_ms=$(median "$scratch/rg.ms"); memo_ms=$(median "$scratch/memo.ms")
data_cpu=$(median "$scratch/data.cpu"); rg_cpu=$(median "$scratch/rg.cpu"); memo_cpu=$(median "$scratch/memo.cpu")
data_ratio=$(ratio "$rg_ms" "$data_ms"); memo_ratio=$(ratio "$rg_ms" "$memo_ms")
data_cpu_ratio=$(ratio "$rg_cpu" "$data_cpu"); memo_cpu_ratio=$(ratio "$rg_cpu" "$memo_cpu")
full_kb=$(median "$scratch/mem_full.kb"); half_kb=$(median "$scratch/mem_half.kb")
largest_kb=$(median "$scratch/mem_largest.kb")
two_largest_kb=$(median "$scratch/mem_two_largest.kb")
data_matches_ms=$(median "$scratch/data_matches.ms"); memo_matches_ms=$(median "$scratch/memo_matches.ms")
data_matches_cpu=$(median "$scratch/data_matches.cpu"); memo_matches_cpu=$(median "$scratch/memo_matches.cpu")
cost() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%+.1f %%", (a / b - 1) * 100 }'; }
within() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { print (a <= b * (1 + t / 100) ? "met" : "missed") }'; }
mem_ratio=$(awk -v a="$full_kb" -v b="$half_kb" 'BEGIN { printf "%.2f", a / b }')
verdict() { awk -v v="$1" -v t="$2" 'BEGIN { print (v >= t ? "met" : "missed") }'; }
# Independent of the number of drawings: the whole corpus within 10 % of its half.
mem_verdict=$(awk -v r="$mem_ratio" 'BEGIN { print (r <= 1.10 ? "met" : "missed") }')

total_mb=$(awk -v b="$(info_get bytes)" 'BEGIN { printf "%.0f", b / 1e6 }')
largest_mb=$(awk -v b="$(info_get largest_bytes)" 'BEGIN { printf "%.1f", b / 1e6 }')
report=$here/latest-search.md
{
  echo "Search benchmark, $(date -u '+%Y-%m-%d %H:%M UTC'), commit $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown),"
  echo "$(nproc) cores, load average $load_before before and $load_after after;"
  echo "$(rg --version | sed -n 1p); corpus: $(info_get drawings) drawings ($(info_get utf16_drawings) with UTF-16 strings), $total_mb MB,"
  echo "largest drawing $largest_mb MB, search text \"$needle\". Median of $repetitions runs, warm page cache."
  echo
  echo "| dorvan-search | found | wall ms | CPU ms | ripgrep wall ms | ripgrep CPU ms | ripgrep ÷ dorvan, wall | CPU | target (wall) |"
  echo "|---|---:|---:|---:|---:|---:|---:|---:|---|"
  echo "| \`--range data\` | $expected_data | $data_ms | $data_cpu | $rg_ms | $rg_cpu | **$data_ratio** | $data_cpu_ratio | ≥ 1: $(verdict "$data_ratio" 1) |"
  echo "| \`--range memo\` | $expected_memo | $memo_ms | $memo_cpu | $rg_ms | $rg_cpu | **$memo_ratio** | $memo_cpu_ratio | ≥ 20: $(verdict "$memo_ratio" 20) |"
  echo
  echo "CPU is user + system time of all threads. ripgrep (\`rg -l -a -E shift_jis\`) lists $expected_rg drawings: every Shift-JIS drawing with the text"
  echo "anywhere (texts, block texts, memos, dimension labels, layer and block names); it misses the drawings with"
  echo "UTF-16 strings, the other spellings and the memo broken by CR LF, which dorvan-search finds."
  echo
  echo "| peak memory, data range | drawings | peak RSS MiB |"
  echo "|---|---:|---:|"
  echo "| whole corpus | $(info_get drawings) | $(mib "$full_kb") |"
  echo "| its first half (both largest drawings in it) | $(info_get half_drawings) | $(mib "$half_kb") |"
  echo "| the two largest drawings alone | 2 | $(mib "$two_largest_kb") |"
  echo "| the largest drawing alone ($largest_mb MB) | 1 | $(mib "$largest_kb") |"
  echo "| whole ÷ half | | $mem_ratio ($mem_verdict, target ≤ 1.10) |"
  echo
  echo "| match records | wall ms | CPU ms | plain wall ms | plain CPU ms | cost, wall | CPU | target (wall) |"
  echo "|---|---:|---:|---:|---:|---:|---:|---|"
  echo "| \`--range data --matches\` | $data_matches_ms | $data_matches_cpu | $data_ms | $data_cpu | **$(cost "$data_matches_ms" "$data_ms")** | $(cost "$data_matches_cpu" "$data_cpu") | ≤ +10 %: $(within "$data_matches_ms" "$data_ms" 10) |"
  echo "| \`--range memo --matches\` | $memo_matches_ms | $memo_matches_cpu | $memo_ms | $memo_cpu | **$(cost "$memo_matches_ms" "$memo_ms")** | $(cost "$memo_matches_cpu" "$memo_cpu") | ≤ +10 %: $(within "$memo_matches_ms" "$memo_ms" 10) |"
  if [ -n "$before" ]; then
    before_ms=$(median "$scratch/before.ms"); before_cpu=$(median "$scratch/before.cpu")
    echo "| plain \`--range data\` against \`--before\` |  $data_ms | $data_cpu | $before_ms | $before_cpu | **$(cost "$data_ms" "$before_ms")** | $(cost "$data_cpu" "$before_cpu") | ≤ +3 %: $(within "$data_ms" "$before_ms" 3) |"
  fi
} >"$report"
cat "$report"
if [ "$failures" -gt 0 ]; then
  log "$failures runs found a wrong number of drawings"
  exit 1
fi
