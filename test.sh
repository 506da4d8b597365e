#!/usr/bin/env bash
# Sets up what is missing, builds everything and runs every test: the core's unit tests
# natively (AddressSanitizer, UndefinedBehaviorSanitizer), both Windows builds, and the
# end-to-end scenarios under Wine and Xvfb, each with a time limit. Ends with a summary.
set -uo pipefail
source "$(dirname "$0")/scripts/common.sh"

SCENARIO_LIMIT="${QSOPAD_SCENARIO_LIMIT:-150}"
started=$(date +%s)
mkdir -p "$BUILD"
ensure_packages || { echo "0 passed, 1 failed"; exit 1; }

fail_build() { echo "build failed: $1" >&2; echo "0 passed, 1 failed"; exit 1; }

log "native build (core and unit tests, with sanitizers)"
cmake -S "$ROOT" -B "$BUILD/native" -DQSOPAD_SANITIZE=ON -DQSOPAD_BENCH=OFF -DCMAKE_BUILD_TYPE=Debug \
  >"$BUILD/native.configure.log" 2>&1 || { cat "$BUILD/native.configure.log"; fail_build native; }
cmake --build "$BUILD/native" -j"$JOBS" || fail_build native

log "Windows builds (x86_64 and i686)"
mkdir -p "$BUILD"
build_windows "$BUILD/win64" mingw-x86_64.cmake || fail_build win64
# The 32-bit build, and the call-book library stand-ins that only it can load.
build_windows "$BUILD/win32" mingw-i686.cmake qsopad qrz32 raccd32a hamcal32 qsopad-fcc || fail_build win32
for exe in "$BUILD/win64/src/win32/qsopad.exe" "$BUILD/win32/src/win32/qsopad.exe"; do
  # The program must need no DLL that Windows does not ship.
  bad=$(x86_64-w64-mingw32-objdump -p "$exe" | awk '/DLL Name/ {print tolower($3)}' |
        grep -E 'libstdc|libgcc|libwinpthread' || true)
  [ -z "$bad" ] || fail_build "$exe imports $bad"
  log "$(basename "$(dirname "$(dirname "$(dirname "$exe")")")")/qsopad.exe: $(stat -c %s "$exe") bytes"
done

unit_passed=0; unit_failed=0
log "unit tests"
ctest_out="$BUILD/ctest.log"
(cd "$BUILD/native" && ctest --output-on-failure -j"$JOBS") >"$ctest_out" 2>&1
ctest_rc=$?
grep -E "tests passed|Failed|\*\*\*" "$ctest_out" | tail -20
summary=$(grep -E "tests passed, [0-9]+ tests failed out of [0-9]+" "$ctest_out" | tail -1)
if [ -n "$summary" ]; then
  total=$(sed -E 's/.*out of ([0-9]+).*/\1/' <<<"$summary")
  unit_failed=$(sed -E 's/.*passed, ([0-9]+) tests failed.*/\1/' <<<"$summary")
  unit_passed=$((total - unit_failed))
elif [ $ctest_rc -ne 0 ]; then
  cat "$ctest_out"; unit_failed=1
fi
[ $ctest_rc -eq 0 ] || [ "$unit_failed" -gt 0 ] || unit_failed=1

log "interoperability: our ADIF files read by a reader we did not write"
if ensure_node "$BUILD/interop"; then
  mkdir -p "$BUILD/interop/out"
  if "$BUILD/native/adif_writer" "$BUILD/interop/out"; then
    for f in mixed:latin1 many:latin1 utf8:utf8; do
      enc=${f#*:}; f=${f%:*}
      if NODE_PATH="$BUILD/interop/node_modules" node "$ROOT/tests/interop/check_adif.js" \
           "$BUILD/interop/out/$f.adi" "$BUILD/interop/out/$f.json" "$enc"; then
        unit_passed=$((unit_passed + 1))
      else
        unit_failed=$((unit_failed + 1)); echo "  FAIL  ADIF interoperability: $f.adi"
      fi
    done
  else
    unit_failed=$((unit_failed + 1)); echo "  FAIL  adif_writer"
  fi
else
  unit_failed=$((unit_failed + 1)); echo "  FAIL  no Node.js or no adif-parser-ts"
fi

# Each fuzz target for a bounded time (tests/fuzz/run.sh 600 runs them longer by hand).
log "fuzz targets"
"$ROOT/tests/fuzz/run.sh" "${QSOPAD_FUZZ_SECONDS:-10}" 2>&1 | tee "$BUILD/fuzz.log"
fuzz_rc=${PIPESTATUS[0]}
read -r fuzz_passed fuzz_failed < <(sed -nE 's/^fuzz: ([0-9]+) passed, ([0-9]+) failed$/\1 \2/p' \
  "$BUILD/fuzz.log" | tail -1; echo 0 0)
[ "$fuzz_rc" -eq 0 ] || [ "$fuzz_failed" -gt 0 ] || fuzz_failed=1
unit_passed=$((unit_passed + fuzz_passed)); unit_failed=$((unit_failed + fuzz_failed))

# The installers and zips of both builds into $BUILD/dist; the package_* scenarios install them.
log "installers and portable zips"
if "$ROOT/packaging/package.sh"; then
  unit_passed=$((unit_passed + 1))
else
  unit_failed=$((unit_failed + 1)); echo "  FAIL  packaging/package.sh"
fi

log "end-to-end scenarios under Wine"
e2e_passed=0; e2e_failed=0; failed_names=()
# A step that keeps the scenarios from running counts as one failure, and the run ends here.
fail_e2e() {
  echo "e2e: $1" >&2
  echo "$((unit_passed + e2e_passed)) passed, $((unit_failed + e2e_failed + 1)) failed"
  exit 1
}
logs="$BUILD/e2e-logs"
rm -rf "$logs"; mkdir -p "$logs"
prepare_prefix "$BUILD/test-prefix" || fail_e2e "no Wine prefix at $BUILD/test-prefix"
mkdir -p "$WINEPREFIX/drive_c/psk31"
cp "$BUILD/win64/tests/standins/psk31sbw.exe" "$WINEPREFIX/drive_c/psk31/psk31sbw.exe" ||
  fail_e2e "cannot install the PSK31 stand-in in the prefix"
xvfb_pids=()
# Whatever a lane left running when the run is interrupted: Wine servers, fldigi and its agent.
cleanup_e2e() {
  local f
  for f in "$logs"/lane*.fldigi; do
    [ -f "$f" ] || continue
    kill "$(sed -n 2p "$f")" 2>/dev/null
    "$ROOT/scripts/fldigi.sh" stop "$(sed -n 1p "$f")" >/dev/null 2>&1
  done
  for f in "$BUILD"/test-prefix*/; do WINEPREFIX=$f wineserver -k 2>/dev/null; done
  [ ${#xvfb_pids[@]} -eq 0 ] || kill "${xvfb_pids[@]}" 2>/dev/null
}
trap 'cleanup_e2e || true' EXIT
start_xvfb || fail_e2e "no X display"
xvfb_pids+=("$XVFB_PID")
driver="$BUILD/win64/tests/e2e/qsopad_e2e.exe"
listing=$(timeout -k 5 60 wine "$driver" --list | tr -d '\r') || fail_e2e "$driver --list failed"
mapfile -t all < <(grep -v '^$' <<<"$listing")
[ ${#all[@]} -gt 0 ] || fail_e2e "$driver --list named no scenario"
scenarios=("${all[@]}")
if [ -n "${QSOPAD_SCENARIOS:-}" ]; then
  scenarios=()
  for s in "${all[@]}"; do grep -qw -- "$s" <<<"$QSOPAD_SCENARIOS" && scenarios+=("$s"); done
  [ ${#scenarios[@]} -gt 0 ] || fail_e2e "QSOPAD_SCENARIOS=\"$QSOPAD_SCENARIOS\" matches no scenario"
  # A name that is no scenario (a typo) fails too, rather than going unnoticed beside the others.
  for want in $QSOPAD_SCENARIOS; do
    printf '%s\n' "${all[@]}" | grep -qx -- "$want" && continue
    echo "  FAIL  $want: no such scenario"; e2e_failed=$((e2e_failed + 1)); failed_names+=("$want")
  done
fi

# The scenarios run in two lanes at once, each with its own Wine prefix (a copy of the first)
# and its own X display: they spend most of their time waiting for windows, so two of them
# share two cores well. Lane 1 takes the long sessions of the main windows, lane 2 the rest,
# the scenarios with the real fldigi last. QSOPAD_E2E_LANES=1 runs them all one after another.
lanes=${QSOPAD_E2E_LANES:-2}
[ "$JOBS" -ge 2 ] || lanes=1
# (run_lane takes a lane's fldigi scenarios last.)
lane1=(); lane2=()
for s in "${scenarios[@]}"; do
  if [ "$lanes" -eq 1 ] || [[ $s == *_session || $s == startup_* || $s == store_* ]]; then lane1+=("$s")
  else lane2+=("$s"); fi
done
wineserver -w 2>/dev/null || true
prefixes=("$BUILD/test-prefix")
displays=("$DISPLAY")
if [ ${#lane2[@]} -gt 0 ]; then
  rm -rf "$BUILD/test-prefix-2"
  cp -a "$BUILD/test-prefix" "$BUILD/test-prefix-2" || fail_e2e "cannot copy the Wine prefix"
  start_xvfb || fail_e2e "no second X display"
  xvfb_pids+=("$XVFB_PID")
  prefixes+=("$BUILD/test-prefix-2"); displays+=("$DISPLAY")
fi

# run_scenario NAME: one scenario with a time limit; its verdict goes to $logs/results.
run_scenario() {
  local s=$1 t0 rc dt
  t0=$(date +%s%N)
  timeout -k 5 "$SCENARIO_LIMIT" wine "$driver" "$s" >"$logs/$s.log" 2>&1
  rc=$?
  dt=$(( ($(date +%s%N) - t0) / 1000000 ))
  if [ $rc -eq 0 ]; then
    echo "pass $s" >>"$logs/results"; echo "  pass  $s (${dt} ms)"
  else
    echo "FAIL $s" >>"$logs/results"
    { [ $rc -eq 124 ] && echo "  FAIL  $s: no result within ${SCENARIO_LIMIT}s" || echo "  FAIL  $s"
      sed 's/^/        /' "$logs/$s.log" | tail -40; } | flock "$logs/results" cat
  fi
  # Nothing a scenario started may outlive it.
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
}

# run_lane N SCENARIO...: in a subshell, with lane N's prefix and display. The scenarios with
# the real fldigi get fldigi with PulseAudio sound, and the agent that kills, starts and plays
# into it for the driver (which cannot reach Linux processes), up around them.
run_lane() {
  local n=$1; shift
  export WINEPREFIX=${prefixes[n - 1]} DISPLAY=${displays[n - 1]}
  local s fl=() fldigi_env fldigi_dir
  for s in "$@"; do
    if [[ $s == fldigi_* ]]; then fl+=("$s"); else run_scenario "$s"; fi
  done
  [ ${#fl[@]} -gt 0 ] || return 0
  if fldigi_env=$("$ROOT/scripts/fldigi.sh" start pulse 2>"$logs/fldigi-start.log"); then
    fldigi_dir=$(sed -n 's/^FLDIGI_DIR=//p' <<<"$fldigi_env")
    "$ROOT/scripts/fldigi.sh" agent "$fldigi_dir" >"$logs/fldigi-agent.log" 2>&1 &
    printf '%s\n%s\n' "$fldigi_dir" "$!" >"$logs/lane$n.fldigi"
    export QSOPAD_FLDIGI_DIR="$fldigi_dir"
    for s in "${fl[@]}"; do run_scenario "$s"; done
    kill "$(sed -n 2p "$logs/lane$n.fldigi")" 2>/dev/null
    "$ROOT/scripts/fldigi.sh" stop "$fldigi_dir"
    rm -f "$logs/lane$n.fldigi"
  else
    for s in "${fl[@]}"; do echo "FAIL $s" >>"$logs/results"; echo "  FAIL  $s: fldigi did not start"; done
    sed 's/^/        /' "$logs/fldigi-start.log"
  fi
}
touch "$logs/results"
lane_pids=()
[ ${#lane1[@]} -eq 0 ] || { run_lane 1 "${lane1[@]}" & lane_pids+=($!); }
[ ${#lane2[@]} -eq 0 ] || { run_lane 2 "${lane2[@]}" & lane_pids+=($!); }
wait "${lane_pids[@]}"
while read -r verdict s; do
  if [ "$verdict" = pass ]; then e2e_passed=$((e2e_passed + 1))
  else e2e_failed=$((e2e_failed + 1)); failed_names+=("$s"); fi
done <"$logs/results"
# A scenario that left no verdict (its lane was killed) failed too.
for s in "${scenarios[@]}"; do
  grep -qE "^(pass|FAIL) $s\$" "$logs/results" && continue
  echo "  FAIL  $s: no verdict"; e2e_failed=$((e2e_failed + 1)); failed_names+=("$s")
done

elapsed=$(( $(date +%s) - started ))
log "unit: $unit_passed passed, $unit_failed failed; end-to-end: $e2e_passed passed, $e2e_failed failed; ${elapsed}s"
[ ${#failed_names[@]} -eq 0 ] || log "failed scenarios: ${failed_names[*]}"
echo "$((unit_passed + e2e_passed)) passed, $((unit_failed + e2e_failed)) failed"
[ $((unit_failed + e2e_failed)) -eq 0 ]
