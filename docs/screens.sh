#!/usr/bin/env bash
# Takes the manual's screenshots anew: builds the 64-bit program, the PSK31 stand-in and
# the end-to-end driver, runs each screenshot set of docs/screens under Wine on a virtual
# display, and writes docs/images/*.png.
#
#   docs/screens.sh              # every set
#   docs/screens.sh options      # one set
set -uo pipefail
source "$(dirname "$0")/../scripts/common.sh"
SETS=("$@")
[ ${#SETS[@]} -gt 0 ] || SETS=(windows options logging)

ensure_packages || exit 1
build_windows "$BUILD/win64" mingw-x86_64.cmake qsopad psk31sbw qsopad_e2e || { echo "build failed" >&2; exit 1; }
prepare_prefix "$BUILD/screens-prefix" || exit 1
mkdir -p "$WINEPREFIX/drive_c/psk31"
cp "$BUILD/win64/tests/standins/psk31sbw.exe" "$WINEPREFIX/drive_c/psk31/psk31sbw.exe"
start_xvfb || exit 1
trap 'wineserver -k 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT
out="$BUILD/screens"
rm -rf "$out" && mkdir -p "$out"
export QSOPAD_SCREENS_DIR="Z:${out//\//\\}"
failed=0
for set in "${SETS[@]}"; do
  if ! timeout -k 5 180 wine "$BUILD/win64/tests/e2e/qsopad_e2e.exe" --screens "$set"; then
    echo "screenshot set $set failed" >&2; failed=1
  fi
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
done
for bmp in "$out"/*.bmp; do
  [ -e "$bmp" ] || continue
  png="$ROOT/docs/images/$(basename "${bmp%.bmp}").png"
  convert "$bmp" -strip "$png" && log "$(basename "$png"): $(stat -c %s "$png") bytes"
done
exit $failed
