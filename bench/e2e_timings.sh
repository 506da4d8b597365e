#!/usr/bin/env bash
# Start-up and pump timings of the real qsopad.exe under Wine and Xvfb, as medians over
# several runs (the machine is shared and noisy: read medians and ratios, not single runs).
#
#   bench/e2e_timings.sh                      # 7 runs of each measurement
#   QSOPAD_BENCH_RUNS=11 bench/e2e_timings.sh
#   QSOPAD_BUILD_ROOT=/some/build bench/e2e_timings.sh
#   QSOPAD_BENCH_RUNS=1 bench/e2e_timings.sh fldigi_latency fldigi_throughput fldigi_idle_cpu
#
# Builds the 64-bit qsopad.exe, the PSK31 stand-in and the end-to-end driver (whose
# "--bench startup" and "--bench pump" modes, in bench/e2e/timings.cpp, take one
# measurement each), then runs each mode in a fresh driver process in a Wine prefix of its
# own ($BUILD/bench-prefix), so that it does not disturb a test run.
#   startup: process creation to a visible main window, the station already running
#   pump:    ms per character while sending 400 characters, the spread of the intervals
#            (median, 90th percentile, largest) and the delay of F5 after the last character
# and, named on the command line, with the real fldigi (started here with its agent; see
# bench/e2e/fldigi_bench.cpp):
#   fldigi_latency     key to text.add_tx and to fldigi's report of the character sent
#   fldigi_throughput  characters a second and turnaround, QSOPAD against fldigi alone
#   fldigi_idle_cpu    QSOPAD's CPU attached to fldigi and idle (and to the PSK31 stand-in)
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
RUNS="${QSOPAD_BENCH_RUNS:-7}"
MODES=("$@")
[ ${#MODES[@]} -gt 0 ] || MODES=(startup pump)

ensure_packages || exit 1
build_windows "$BUILD/win64" mingw-x86_64.cmake qsopad psk31sbw qsopad_e2e || { echo "build failed" >&2; exit 1; }
prepare_prefix "$BUILD/bench-prefix" || exit 1
start_xvfb || exit 1
fldigi_dir='' agent_pid=''
if [[ " ${MODES[*]}" == *" fldigi_"* ]]; then
  fldigi_env=$("$ROOT/scripts/fldigi.sh" start null) || exit 1
  fldigi_dir=$(sed -n 's/^FLDIGI_DIR=//p' <<<"$fldigi_env")
  "$ROOT/scripts/fldigi.sh" agent "$fldigi_dir" >/dev/null 2>&1 &
  agent_pid=$!
  export QSOPAD_FLDIGI_DIR="$fldigi_dir"
fi
trap 'wineserver -k 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true
      [ -z "$agent_pid" ] || kill "$agent_pid"; [ -z "$fldigi_dir" ] || "$ROOT/scripts/fldigi.sh" stop "$fldigi_dir"' EXIT
driver="$BUILD/win64/tests/e2e/qsopad_e2e.exe"
results="$BUILD/bench-results.txt"
: > "$results"

for mode in "${MODES[@]}"; do
  for run in $(seq 1 "$RUNS"); do
    out=$(timeout -k 5 300 wine "$driver" --bench "$mode" 2>&1 | tr -d '\r')
    grep '^RESULT ' <<<"$out" >>"$results" || { echo "$mode run $run failed:"; echo "$out" | tail -20; }
    log "$mode run $run: $(grep '^RESULT ' <<<"$out" | cut -d' ' -f2- | tr '\n' ' ')"
    wineserver -k 2>/dev/null || true
    wineserver -w 2>/dev/null || true
  done
done

echo
printf '%-24s %6s %10s %10s %10s\n' figure runs median min max
for figure in $(awk '{print $2}' "$results" | awk '!seen[$0]++'); do
  awk -v f="$figure" '$2 == f {print $3}' "$results" | sort -g | awk -v f="$figure" '
    { v[NR] = $1 }
    END { m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
          printf "%-24s %6d %10.2f %10.2f %10.2f\n", f, NR, m, v[1], v[NR] }'
done
