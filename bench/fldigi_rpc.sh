#!/usr/bin/env bash
# Round trips of XML-RPC calls to a real fldigi (started and stopped here by
# scripts/fldigi.sh) through the program's channel: bench_rpc's table of median and 99th
# percentile per method, polled as the window's timer polls and without pause.
#   bench/fldigi_rpc.sh [CALLS]
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
build_bench bench_rpc || { echo "build of bench_rpc failed" >&2; exit 1; }
bench="$BUILD/bench-release/bench_rpc"
env_lines=$("$ROOT/scripts/fldigi.sh" start null) || exit 1
dir=$(sed -n 's/^FLDIGI_DIR=//p' <<<"$env_lines")
port=$(sed -n 's/^FLDIGI_PORT=//p' <<<"$env_lines")
"$bench" "$port" "${1:-200}"
rc=$?
"$ROOT/scripts/fldigi.sh" stop "$dir"
exit $rc
