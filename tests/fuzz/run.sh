#!/usr/bin/env bash
# Builds the fuzz targets (clang's libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer
# over the core) and runs each for a bounded time, as many at once as there are cores.
#
#   tests/fuzz/run.sh [SECONDS] [TARGET...]     SECONDS per target, 20 unless given
#
# Each target starts from its seeds in tests/fuzz/corpus/<target> and what earlier runs found
# ($BUILD/fuzz/corpus/<target>). A crash, a sanitizer report or a broken check fails its target,
# and the input is kept under $BUILD/fuzz/crashes/<target>/ with the command that replays it.
set -uo pipefail
source "$(dirname "$0")/../../scripts/common.sh"

seconds="${1:-20}"
[[ "$seconds" =~ ^[1-9][0-9]*$ ]] || { echo "usage: $0 [SECONDS] [TARGET...]" >&2; exit 2; }
shift $(($# > 0 ? 1 : 0))
SRC="$ROOT/tests/fuzz"
OUT="$BUILD/fuzz"
parallel="${QSOPAD_FUZZ_JOBS:-$JOBS}"

mapfile -t all < <(cd "$SRC" && ls -1 *.cpp | sed 's/\.cpp$//')
targets=("${@:-${all[@]}}")
for t in "${targets[@]}"; do
  [ -f "$SRC/$t.cpp" ] || { echo "no fuzz target \"$t\" (there are: ${all[*]})" >&2; exit 2; }
done

build_failed() { echo "  FAIL  fuzz build: $1"; echo "fuzz: 0 passed, ${#targets[@]} failed"; exit 1; }

# clang, and the libFuzzer runtime when clang cannot link a fuzzer without it: Debian ships
# the runtime apart (libclang-rt-N-dev since clang 14).
PACKAGES=(cmake make clang)
ensure_packages || build_failed "cannot install clang"
major=$(clang++ -dumpversion | cut -d. -f1)
mkdir -p "$OUT"
printf '#include <cstddef>\n#include <cstdint>\nextern "C" int LLVMFuzzerTestOneInput(const std::uint8_t*, std::size_t) { return 0; }\n' \
  >"$OUT/probe.cpp"
probe() { clang++ -fsanitize=fuzzer,address,undefined "$OUT/probe.cpp" -o "$OUT/probe" >"$OUT/probe.log" 2>&1; }
if ! probe; then
  PACKAGES=("libclang-rt-$major-dev")
  ensure_packages && probe ||
    { cat "$OUT/probe.log"; build_failed "clang++ $major cannot link -fsanitize=fuzzer"; }
fi

log "fuzz targets: build (clang $major, libFuzzer, ASan, UBSan)"
cmake -S "$ROOT" -B "$OUT" -DQSOPAD_FUZZ=ON -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  >"$OUT/configure.log" 2>&1 || { cat "$OUT/configure.log"; build_failed configure; }
cmake --build "$OUT" -j"$JOBS" >"$OUT/build.log" 2>&1 ||
  { grep -E "error|Error" -A3 "$OUT/build.log" | head -60; build_failed "compile (see $OUT/build.log)"; }

# One target for `seconds`; its output in logs/<target>.log, its exit status in logs/<target>.rc.
run_target() {
  local t="$1"
  mkdir -p "$OUT/corpus/$t" "$OUT/crashes/$t" "$OUT/logs"
  # -timeout: one input running this long is a hang, reported as a failure. The outer
  # timeout only guards against libFuzzer itself not stopping.
  timeout -k 10 $((seconds + 120)) "$OUT/tests/fuzz/fuzz_$t" -max_total_time="$seconds" \
    -timeout=10 -print_final_stats=1 -artifact_prefix="$OUT/crashes/$t/" \
    "$OUT/corpus/$t" "$SRC/corpus/$t" >"$OUT/logs/$t.log" 2>&1
  echo $? >"$OUT/logs/$t.rc"
}

log "fuzz targets: ${targets[*]}, ${seconds}s each, $parallel at a time"
for t in "${targets[@]}"; do
  rm -f "$OUT/logs/$t.rc"
  while [ "$(jobs -rp | wc -l)" -ge "$parallel" ]; do wait -n; done
  run_target "$t" &
done
wait

passed=0; failed=0
for t in "${targets[@]}"; do
  logf="$OUT/logs/$t.log"
  rc=$(cat "$OUT/logs/$t.rc" 2>/dev/null || echo "none")
  # The last status line carries the coverage: the final DONE line, or the last before a crash.
  cov=$(grep -E '^#[0-9]+.*cov: ' "$logf" | tail -1 | grep -oE 'cov: [0-9]+ ft: [0-9]+ corp: [0-9]+')
  execs=$(sed -nE 's/^stat::number_of_executed_units: *([0-9]+).*/\1/p' "$logf" | tail -1)
  rate=$(sed -nE 's/^stat::average_exec_per_sec: *([0-9]+).*/\1/p' "$logf" | tail -1)
  figures="${rate:-?} exec/s, ${execs:-?} runs, ${cov:-cov ?}"
  if [ "$rc" = 0 ] && grep -qE '^#[0-9]+[[:space:]]+DONE ' "$logf"; then
    passed=$((passed + 1))
    echo "  pass  fuzz $t: $figures"
    continue
  fi
  failed=$((failed + 1))
  input=$(sed -nE 's/.*Test unit written to (.*)$/\1/p' "$logf" | tail -1)
  case "$rc" in
    124|137) why="did not stop within $((seconds + 120))s" ;;
    none) why="did not run" ;;
    *) why="exit status $rc" ;;
  esac
  echo "  FAIL  fuzz $t: $why; $figures"
  # What went wrong: a broken check, a sanitizer report or libFuzzer's own, with its stack.
  start=$(grep -nE '^broken: |^==[0-9]+==ERROR|runtime error:|^ALARM|ERROR: libFuzzer' "$logf" | head -1 | cut -d: -f1)
  sed -n "${start:-1},\$p" "$logf" | sed '/^Shadow bytes around/,$d' |
    grep -vE '^(#[0-9]+|stat::|MS: |0x[0-9a-f]+,|Base64: |NOTE: |  +Combine libFuzzer)| in fuzzer::' |
    head -30 | sed 's/^/        /'
  [ -n "$input" ] && echo "        reproduce: $OUT/tests/fuzz/fuzz_$t $input" || echo "        log: $logf"
done
echo "fuzz: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
