#!/usr/bin/env bash
# Sets up, builds and starts QSOPAD under Wine beside the demonstration PSK31 station.
# With $DISPLAY it opens on your screen; without one it runs headless for a few seconds
# and saves a screenshot.
set -euo pipefail
source "$(dirname "$0")/scripts/common.sh"

ensure_packages
log "building for 64-bit Windows"
build_windows "$BUILD/win64" mingw-x86_64.cmake qsopad psk31sbw

prepare_prefix "$BUILD/run-prefix"
drive="$WINEPREFIX/drive_c"
mkdir -p "$drive/psk31" "$drive/QSOPAD"
cp "$BUILD/win64/tests/standins/psk31sbw.exe" "$drive/psk31/psk31sbw.exe"
cp "$BUILD/win64/src/win32/qsopad.exe" "$BUILD/win64/src/win32/manual.htm" "$drive/QSOPAD/"
cp -r "$BUILD/win64/src/win32/images" "$drive/QSOPAD/"
# A fresh, portable settings file beside the program.
: > "$drive/QSOPAD/QSOPAD.ini"
log "QSOPAD is at $drive/QSOPAD/qsopad.exe (settings: QSOPAD.ini beside it)"
# QSOPAD launches the station and passes its environment on: the station then shows beside
# QSOPAD's window instead of minimised.
export PSK31_DEMO=1

if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then
  cd "$drive/QSOPAD" && exec wine qsopad.exe
fi

start_xvfb
trap 'wineserver -k 2>/dev/null || true; kill "$XVFB_PID" 2>/dev/null || true' EXIT
(cd "$drive/QSOPAD" && wine qsopad.exe) &
sleep "${QSOPAD_SHOW_SECONDS:-8}"
shot="$BUILD/screenshot.png"
import -window root "$shot"
log "screenshot: $shot"
