#!/usr/bin/env bash
# Takes the manual's screenshots anew: builds the 64-bit program, the PSK31 stand-in and
# the end-to-end driver, runs each screenshot set of docs/screens under Wine on a virtual
# display, and writes docs/images/*.png.
#
#   docs/screens.sh              # every set
#   docs/screens.sh options      # one set
# The set "fldigi" has the real fldigi beside QSOPAD on the same display (with its agent,
# PulseAudio sound and the recording of a CQ played into it).
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
SETS=("$@")
[ ${#SETS[@]} -gt 0 ] || SETS=(windows options logging fldigi)

ensure_packages || exit 1
build_windows "$BUILD/win64" mingw-x86_64.cmake qsopad psk31sbw qsopad_e2e || { echo "build failed" >&2; exit 1; }
prepare_prefix "$BUILD/screens-prefix" || exit 1
mkdir -p "$WINEPREFIX/drive_c/psk31"
cp "$BUILD/win64/tests/standins/psk31sbw.exe" "$WINEPREFIX/drive_c/psk31/psk31sbw.exe"
start_xvfb || exit 1
fldigi_dir='' agent_pid=''
trap 'wineserver -k 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true
      [ -z "$agent_pid" ] || kill "$agent_pid"; [ -z "$fldigi_dir" ] || "$ROOT/scripts/fldigi.sh" stop "$fldigi_dir"' EXIT
out="$BUILD/screens"
rm -rf "$out" && mkdir -p "$out"
export QSOPAD_SCREENS_DIR="Z:${out//\//\\}"
failed=0
for set in "${SETS[@]}"; do
  # fldigi joins the display for its own set only: it would be in the other pictures.
  if [ "$set" = fldigi ]; then
    fldigi_env=$(FLDIGI_DISPLAY=$DISPLAY "$ROOT/scripts/fldigi.sh" start pulse) || { failed=1; continue; }
    fldigi_dir=$(sed -n 's/^FLDIGI_DIR=//p' <<<"$fldigi_env")
    "$ROOT/scripts/fldigi.sh" agent "$fldigi_dir" >/dev/null 2>&1 &
    agent_pid=$!
    export QSOPAD_FLDIGI_DIR="$fldigi_dir"
    # No window manager: fldigi's window goes where it is told.
    xdotool search --name '^fldigi ver' windowmove 0 0 windowsize 640 460
  fi
  if ! timeout -k 5 180 wine "$BUILD/win64/tests/e2e/qsopad_e2e.exe" --screens "$set"; then
    echo "screenshot set $set failed" >&2; failed=1
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  if [ -n "$fldigi_dir" ]; then
    kill "$agent_pid"; "$ROOT/scripts/fldigi.sh" stop "$fldigi_dir"; fldigi_dir='' agent_pid=''
  fi
done
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  png="$ROOT/docs/images/$(basename "${bmp%.bmp}").png"
  # The fldigi picture is the whole screen: trimmed to the windows on the black root.
  trim=(); [ "$(basename "$bmp")" != fldigi.bmp ] || trim=(-trim +repage)
  convert "$bmp" "${trim[@]}" -strip "$png" && log "$(basename "$png"): $(stat -c %s "$png") bytes"
done
exit $failed
