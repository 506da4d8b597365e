#!/usr/bin/env bash
# FCC database figures on a made-up download of realistic size, generated in a temporary
# folder (never in the repository) and removed afterwards:
#   - qsopad-fcc build: seconds and MB/s of input (median of several runs, warm cache);
#   - the lookup in process: median and 99th percentile of single lookups (bench_fcc);
#   - qsopad-fcc lookup as a whole process against look(1) on the same sorted data file,
#     as the ratio of their medians, the two run alternately.
# The machine is shared and noisy: read medians and ratios, not single runs.
#
#   bench/fcc.sh
#   QSOPAD_FCC_LICENCES=200000 QSOPAD_BENCH_RUNS=3 QSOPAD_FCC_LOOKUPS=100 bench/fcc.sh
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
LICENCES="${QSOPAD_FCC_LICENCES:-1400000}"
RUNS="${QSOPAD_BENCH_RUNS:-5}"
LOOKUPS="${QSOPAD_FCC_LOOKUPS:-300}"

die() { echo "bench/fcc.sh: $*" >&2; exit 1; }
median() { sort -g | awk '{v[NR]=$1} END {print (NR % 2) ? v[(NR+1)/2] : (v[NR/2] + v[NR/2+1]) / 2}'; }

ensure_packages || die "cannot install the build's packages"
command -v look >/dev/null || as_root apt-get install -y -qq bsdextrautils >/dev/null ||
  die "look(1) is missing and bsdextrautils could not be installed"

build_bench qsopad-fcc fcc_generate bench_fcc || die "build failed"
dir="$BUILD/bench-release"
tool="$dir/tools/qsopad-fcc"

tmp="$(mktemp -d "${TMPDIR:-/tmp}/qsopad-fcc-bench.XXXXXX")" || die "no temporary folder"
trap 'rm -rf "$tmp"' EXIT
log "generating $LICENCES licences in $tmp"
"$dir/fcc_generate" "$tmp" "$LICENCES" || die "generation failed"
input_mb=$(du -cb "$tmp"/EN.dat "$tmp"/AM.dat "$tmp"/HD.dat | awk 'END {printf "%.1f", $1 / 1e6}')

log "building the database $RUNS times ($input_mb MB of input)"
: >"$tmp/build-times"
for run in $(seq 1 "$RUNS"); do
  summary=$("$tool" build "$tmp/EN.dat" "$tmp/AM.dat" "$tmp/HD.dat" "$tmp/APPL.DAT" 2>/dev/null) ||
    die "qsopad-fcc build failed"
  # "read 438.8 MB in 1.67 s (262 MB/s); ..."
  sed -nE 's/^read ([0-9.]+) MB in ([0-9.]+) s.*/\2/p' <<<"$summary" >>"$tmp/build-times"
done
echo "$summary" | sed 's/^/    /'
build_s=$(median <"$tmp/build-times")
lines=$(wc -l <"$tmp/APPL.DAT")

log "in-process lookups (bench_fcc)"
QSOPAD_FCC_DATA="$tmp/APPL.DAT" "$dir/bench_fcc" --benchmark_repetitions=3 \
  --benchmark_report_aggregates_only=true >"$tmp/bench.txt" 2>&1 || { cat "$tmp/bench.txt"; die "bench_fcc failed"; }
grep -E "^BM_.*_median" "$tmp/bench.txt" | sed 's/^/    /'

log "whole process: qsopad-fcc lookup against look, $LOOKUPS call signs each, alternately"
export LC_ALL=C
mapfile -t calls < <(awk -v n="$lines" -v k="$LOOKUPS" 'BEGIN {srand(3)} rand() < 2 * k / n {print $1}' FS='|' "$tmp/APPL.DAT" |
  head -n "$LOOKUPS")
: >"$tmp/tool-times"; : >"$tmp/look-times"
for call in "${calls[@]}"; do
  trimmed="${call%% *}"
  t0=$EPOCHREALTIME
  "$tool" lookup "$tmp/APPL.DAT" "$trimmed" >/dev/null || die "qsopad-fcc lookup did not find $trimmed"
  t1=$EPOCHREALTIME
  look "$call|" "$tmp/APPL.DAT" >/dev/null || die "look did not find \"$call|\""
  t2=$EPOCHREALTIME
  echo "$t0 $t1" | awk '{printf "%.1f\n", ($2 - $1) * 1e6}' >>"$tmp/tool-times"
  echo "$t1 $t2" | awk '{printf "%.1f\n", ($2 - $1) * 1e6}' >>"$tmp/look-times"
done
tool_us=$(median <"$tmp/tool-times")
look_us=$(median <"$tmp/look-times")

echo
echo "FCC database, $LICENCES licences ($input_mb MB of EN, AM and HD), $lines call signs:"
awk -v s="$build_s" -v mb="$input_mb" -v r="$RUNS" \
  'BEGIN {printf "  build:            %.2f s median of %d, %.0f MB/s of input (target >= 100)\n", s, r, mb / s}'
sed -nE 's/^BM_FCCLookup(Found|Absent)[^ ]*_median +([0-9.]+) us.*p50_us=([0-9.]+)[^ ]* +p99_us=([0-9.]+).*/  lookup \1: p50 \3 us, p99 \4 us, mean \2 us (target < 50)/p' "$tmp/bench.txt"
awk -v a="$tool_us" -v b="$look_us" -v n="${#calls[@]}" \
  'BEGIN {printf "  whole process:    qsopad-fcc lookup %.0f us, look %.0f us (medians of %d): ratio %.2f (target <= 1)\n", a, b, n, a / b}'
