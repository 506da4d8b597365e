# Shared steps of run.sh and test.sh: install what is missing, build, prepare Wine.
# Sourced, not run.

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# QSOPAD_BUILD_ROOT lets two checkouts or two people build side by side.
BUILD="${QSOPAD_BUILD_ROOT:-$ROOT/build}"
JOBS="$(nproc 2>/dev/null || echo 2)"

PACKAGES=(cmake make g++ pkg-config googletest libgtest-dev libgmock-dev libbenchmark-dev
  g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-posix binutils-mingw-w64
  wine wine64 wine32:i386 xvfb xauth x11-utils xdotool imagemagick procps nsis zip
  fldigi pulseaudio pulseaudio-utils python3)

# Each line says how long the run has taken so far (the outermost script's start).
export QSOPAD_T0="${QSOPAD_T0:-$(date +%s)}"
log() { printf '==> [%ss] %s\n' "$(( $(date +%s) - QSOPAD_T0 ))" "$*"; }

as_root() {
  if [ "$(id -u)" -eq 0 ]; then "$@"; elif command -v sudo >/dev/null; then sudo "$@"; else
    echo "need root to run: $*" >&2; return 1; fi
}

ensure_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  if [ ${#missing[@]} -gt 0 ]; then
    log "installing: ${missing[*]}"
    # Another apt-get (a second run starting at the same time) holds the lock for a while:
    # wait for it rather than fail.
    local apt=(as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
    # 32-bit Wine, for the 32-bit build and the call-book libraries it loads, is Debian's
    # i386 architecture beside the machine's own.
    if [[ " ${missing[*]} " == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
      as_root dpkg --add-architecture i386 || return 1
    fi
    "${apt[@]}" update -qq
    "${apt[@]}" install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
  fi
}

# ensure_node DIR: Node.js and npm (Debian's, when the machine has none), and in DIR the
# pinned npm packages of tests/interop: the readers we did not write.
ensure_node() {
  local dir="$1"
  if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    log "installing: nodejs npm"
    local apt=(as_root env DEBIAN_FRONTEND=noninteractive apt-get -o DPkg::Lock::Timeout=600)
    "${apt[@]}" update -qq && "${apt[@]}" install -y -qq --no-install-recommends nodejs npm \
      >/dev/null || return 1
  fi
  mkdir -p "$dir"
  if ! cmp -s "$ROOT/tests/interop/package-lock.json" "$dir/package-lock.json" ||
     [ ! -d "$dir/node_modules/adif-parser-ts" ]; then
    cp "$ROOT/tests/interop/package.json" "$ROOT/tests/interop/package-lock.json" "$dir/" &&
      (cd "$dir" && npm ci --no-audit --no-fund --loglevel=error >/dev/null) || {
        echo "npm ci failed in $dir" >&2; return 1; }
  fi
}

# build_windows DIR TOOLCHAIN [targets...]
build_windows() {
  local dir="$1" toolchain="$2"; shift 2
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/$toolchain" \
    -DCMAKE_BUILD_TYPE=Release >"$dir.configure.log" 2>&1 || { cat "$dir.configure.log"; return 1; }
  if [ $# -gt 0 ]; then
    cmake --build "$dir" -j"$JOBS" --target "$@"
  else
    cmake --build "$dir" -j"$JOBS"
  fi
}

# build_bench TARGET...: a native release build of these targets in $BUILD/bench-release,
# for the measurements of bench/.
build_bench() {
  local dir="$BUILD/bench-release"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_BUILD_TYPE=Release >"$dir.configure.log" 2>&1 ||
    { cat "$dir.configure.log"; return 1; }
  cmake --build "$dir" -j"$JOBS" --target "$@" >/dev/null
}

export WINEDEBUG=-all
# No Mono or Gecko for a new prefix; and no Linux desktop entries made from the Start-menu
# shortcuts that the installers write (Wine reads this from a program's Unix environment,
# so it must be set here, not by the driver for one program).
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

# prepare_prefix DIR: a Wine prefix of the project's own. Fails, naming the prefix, when
# wineboot leaves no registry behind (a full disk, a folder that is not ours, a broken Wine).
prepare_prefix() {
  export WINEPREFIX="$1"
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    log "creating Wine prefix $WINEPREFIX"
    mkdir -p "$WINEPREFIX" 2>/dev/null
    wineboot -i >"${WINEPREFIX%/}.wineboot.log" 2>&1 || true
    wineserver -w 2>/dev/null || true
  fi
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "ERROR: could not make the Wine prefix $WINEPREFIX (no system.reg after wineboot;" \
      "see ${WINEPREFIX%/}.wineboot.log)" >&2
    return 1
  fi
}

# start_xvfb: a virtual display for this run; sets DISPLAY and XVFB_PID.
start_xvfb() {
  local n
  for n in $(seq 91 140); do
    [ -e "/tmp/.X$n-lock" ] && continue
    # No key repeat: on a busy machine xdotool's release can come late enough for the server
    # to repeat the key ("haaans").
    Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp -ardelay 60000 >/dev/null 2>&1 &
    XVFB_PID=$!
    export DISPLAY=":$n"
    local i; for i in $(seq 1 50); do
      xdpyinfo >/dev/null 2>&1 && return 0
      sleep 0.1
    done
    kill "$XVFB_PID" 2>/dev/null
  done
  echo "could not start Xvfb" >&2
  return 1
}
