#!/usr/bin/env bash
# fldigi for tests: Debian's fldigi (4.1.23 seen) headless on a virtual display, started
# from the pre-written config in scripts/fldigi/ in a folder of its own, with its XML-RPC
# server on a free TCP port; stopped again by the process ids it recorded.
#
#   scripts/fldigi.sh start null|pulse [PORT]   start; prints shell assignments:
#                                               FLDIGI_DIR FLDIGI_PORT FLDIGI_PID FLDIGI_AUDIO
#                                               FLDIGI_DISPLAY XVFB_PID [PULSE_PID PULSE_SERVER]
#   scripts/fldigi.sh stop DIR                  stop what "start" started and remove DIR
#   scripts/fldigi.sh selftest null|pulse       start, check fldigi's behaviour, stop
#   scripts/fldigi.sh agent DIR                 kills, starts again and plays into the
#                                               fldigi of DIR on request (see agent below)
#
# Sound: null  = fldigi's "File I/O only" device: transmission is paced in real time,
#                receive hears silence.
#        pulse = a private PulseAudio with one null sink "qsonull": fldigi transmits into
#                it and receives from its monitor, so
#                `PULSE_SERVER=... paplay -d qsonull tests/data/fldigi/bpsk31-cq.wav` is decoded.
# FLDIGI_DISPLAY=:N in the environment puts fldigi on that display instead of an Xvfb of
# its own (a screenshot beside another program, say).
#
# In a script:  eval "$(scripts/fldigi.sh start null)"; ...; scripts/fldigi.sh stop "$FLDIGI_DIR"
set -euo pipefail
HERE=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
TEMPLATES="$HERE/fldigi"
WAVS="$HERE/../tests/data/fldigi"

free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
ms() { echo $(($(date +%s%N) / 1000000)); }
# pid_is PID NAME: PID is alive and runs NAME (a pid used again by another program is left alone)
pid_is() { [ -n "$1" ] && [ -r "/proc/$1/comm" ] && grep -q "^$2" "/proc/$1/comm"; }

start() {
  local audio=${1:-} port=${2:-} arq audioio dir disp t0 i
  case "$audio" in null) audioio=3 ;; pulse) audioio=2 ;; *) echo "usage: $0 start null|pulse [PORT]" >&2; return 2 ;; esac
  command -v fldigi >/dev/null || { echo "fldigi is not installed" >&2; return 1; }
  [ -n "$port" ] || port=$(free_port)
  arq=$(free_port)
  dir=$(mktemp -d -t qsopad-fldigi.XXXXXX)
  mkdir -p "$dir/cfg" "$dir/home" "$dir/pulse"
  # Any fldigi_def.xml keeps fldigi out of its first-run wizard (which would never start
  # the XML-RPC server); the ARQ port moves so that several copies can run.
  sed -e "s/@PORT@/$port/" -e "s/@ARQPORT@/$arq/" -e "s/@AUDIOIO@/$audioio/" \
    "$TEMPLATES/fldigi_def.xml.in" >"$dir/cfg/fldigi_def.xml"
  printf 'FLDIGI_DIR=%s\nFLDIGI_PORT=%s\nFLDIGI_AUDIO=%s\n' "$dir" "$port" "$audio" >"$dir/state"

  if [ -n "${FLDIGI_DISPLAY:-}" ]; then
    disp=$FLDIGI_DISPLAY
  else
    # Xvfb picks a free display number and writes it to fd 3.
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$dir/display" >"$dir/xvfb.log" 2>&1 </dev/null &
    echo "XVFB_PID=$!" >>"$dir/state"
    for i in $(seq 100); do [ -s "$dir/display" ] && break; sleep 0.1; done
    [ -s "$dir/display" ] || { echo "Xvfb did not start (see $dir/xvfb.log)" >&2; stop "$dir"; return 1; }
    disp=":$(head -1 "$dir/display")"
  fi
  echo "FLDIGI_DISPLAY=$disp" >>"$dir/state"

  local penv=()
  if [ "$audio" = pulse ]; then
    sed "s|@DIR@|$dir|g" "$TEMPLATES/default.pa.in" >"$dir/default.pa"
    HOME="$dir/home" PULSE_RUNTIME_PATH="$dir/pulse" pulseaudio -n -F "$dir/default.pa" --daemonize=no \
      --exit-idle-time=-1 --use-pid-file=no --log-target=stderr >"$dir/pulse.log" 2>&1 </dev/null &
    printf 'PULSE_PID=%s\nPULSE_SERVER=unix:%s/pulse/native\n' "$!" "$dir" >>"$dir/state"
    penv=(PULSE_SERVER="unix:$dir/pulse/native")
    for i in $(seq 100); do env "${penv[@]}" pactl info >/dev/null 2>&1 && break; sleep 0.1; done
    env "${penv[@]}" pactl info >/dev/null 2>&1 ||
      { echo "PulseAudio did not start (see $dir/pulse.log)" >&2; stop "$dir"; return 1; }
  fi

  t0=$(ms)
  launch "$dir" || { stop "$dir"; return 1; }
  echo "FLDIGI_START_MS=$(($(ms) - t0))" >>"$dir/state"
  cat "$dir/state"
}

# launch DIR: starts fldigi in the folder that "start" prepared (again, after a kill) and
# waits until its port answers for it; records its process id in DIR/state.
launch() {
  local dir=$1 FLDIGI_PORT='' FLDIGI_DISPLAY='' PULSE_SERVER='' penv=()
  eval "$(grep -E '^(FLDIGI_PORT|FLDIGI_DISPLAY|PULSE_SERVER)=' "$dir/state")"
  [ -z "$PULSE_SERVER" ] || penv=(PULSE_SERVER="$PULSE_SERVER")
  env HOME="$dir/home" DISPLAY="$FLDIGI_DISPLAY" "${penv[@]}" \
    fldigi --config-dir "$dir/cfg" --home-dir "$dir/home/" >>"$dir/fldigi.log" 2>&1 </dev/null &
  local fpid=$!
  sed -i '/^FLDIGI_PID=/d' "$dir/state"
  echo "FLDIGI_PID=$fpid" >>"$dir/state"
  # Ready when the port answers, and answers for this fldigi (its config folder): with a
  # busy port fldigi runs on without a server. At most 60 s.
  if ! python3 - "$FLDIGI_PORT" "$dir/cfg/" "$fpid" <<'PY'; then
import os, sys, time, xmlrpc.client
port, cfg, pid = int(sys.argv[1]), sys.argv[2], int(sys.argv[3])
server = xmlrpc.client.ServerProxy("http://127.0.0.1:%d/" % port)
start = time.time()
while time.time() - start < 60:
    try:
        if server.fldigi.config_dir() == cfg:
            sys.exit(0)
        print("port %d answers for another fldigi" % port, file=sys.stderr)
        sys.exit(1)
    except (OSError, xmlrpc.client.Error):
        pass
    if not os.path.exists("/proc/%d" % pid):
        print("fldigi exited", file=sys.stderr)
        sys.exit(1)
    time.sleep(0.1)
print("no XML-RPC answer on port %d in 60 s" % port, file=sys.stderr)
sys.exit(1)
PY
    echo "fldigi did not come up (see $dir/fldigi.log)" >&2; return 1
  fi
}

stop() {
  local dir=${1:-} i
  [ -n "$dir" ] && [ -f "$dir/state" ] || { echo "usage: $0 stop DIR (no DIR/state)" >&2; return 2; }
  local FLDIGI_PID='' PULSE_PID='' XVFB_PID=''
  eval "$(grep -E '^(FLDIGI_PID|PULSE_PID|XVFB_PID)=' "$dir/state")"
  if pid_is "$FLDIGI_PID" fldigi; then
    kill "$FLDIGI_PID"  # SIGTERM: fldigi exits at once, saving nothing
    for i in $(seq 50); do pid_is "$FLDIGI_PID" fldigi || break; sleep 0.1; done
    if pid_is "$FLDIGI_PID" fldigi; then kill -9 "$FLDIGI_PID"; fi
  fi
  if pid_is "$PULSE_PID" pulseaudio; then kill "$PULSE_PID"; fi
  if pid_is "$XVFB_PID" Xvfb; then kill "$XVFB_PID"; fi
  for i in $(seq 30); do
    pid_is "$PULSE_PID" pulseaudio || pid_is "$XVFB_PID" Xvfb || break
    sleep 0.1
  done
  [ -n "${KEEP:-}" ] || rm -rf "$dir"
}

# agent DIR: acts for a program that cannot start or end Linux processes itself (the
# end-to-end driver under Wine) on the fldigi that "start" made in DIR. The program writes
# DIR/agent/request (one line "ID COMMAND [ARGUMENT]", put in place by a rename); the agent
# takes it away, acts, and answers in DIR/agent/reply-ID with "ok PORT" or "failed: why":
#   kill        SIGKILL to fldigi (a crash, as the station sees it)
#   start       starts fldigi again on the same port, when it is not running
#   freeze      SIGSTOP to fldigi (a hung fldigi); thaw: SIGCONT
#   play FILE   plays tests/data/fldigi/FILE into fldigi's sound input (pulse only); the
#               answer comes when it has been played
# Runs until killed, or until DIR/state is gone.
agent() {
  local dir=${1:-} line id cmd arg out sig FLDIGI_PID='' FLDIGI_PORT='' PULSE_SERVER=''
  [ -n "$dir" ] && [ -f "$dir/state" ] || { echo "usage: $0 agent DIR (no DIR/state)" >&2; return 2; }
  mkdir -p "$dir/agent"
  while [ -f "$dir/state" ]; do
    if [ ! -f "$dir/agent/request" ]; then sleep 0.05; continue; fi
    line=$(head -1 "$dir/agent/request"); rm -f "$dir/agent/request"
    read -r id cmd arg <<<"$line" || true
    eval "$(grep -E '^(FLDIGI_PID|FLDIGI_PORT|PULSE_SERVER)=' "$dir/state")"
    out="ok $FLDIGI_PORT"
    case "$cmd" in
      kill)
        if pid_is "$FLDIGI_PID" fldigi; then kill -9 "$FLDIGI_PID"; fi
        for _ in $(seq 50); do pid_is "$FLDIGI_PID" fldigi || break; sleep 0.1; done
        ! pid_is "$FLDIGI_PID" fldigi || out="failed: fldigi (pid $FLDIGI_PID) lives on" ;;
      freeze | thaw)
        [ "$cmd" = freeze ] && sig=STOP || sig=CONT
        pid_is "$FLDIGI_PID" fldigi && kill -s "$sig" "$FLDIGI_PID" || out="failed: fldigi does not run" ;;
      start)
        pid_is "$FLDIGI_PID" fldigi || launch "$dir" 2>>"$dir/agent/log" || out="failed: fldigi did not come up" ;;
      play)
        if [ -z "$PULSE_SERVER" ]; then out="failed: fldigi has no PulseAudio (start it with pulse)"
        elif [[ ! "$arg" =~ ^[A-Za-z0-9._-]+$ ]] || [ ! -f "$WAVS/$arg" ]; then out="failed: no file \"$arg\" in $WAVS"
        else PULSE_SERVER=$PULSE_SERVER paplay -d qsonull "$WAVS/$arg" 2>>"$dir/agent/log" || out="failed: paplay $arg"
        fi ;;
      *) out="failed: unknown request \"$line\"" ;;
    esac
    echo "$out" >"$dir/agent/reply-$id.tmp" && mv "$dir/agent/reply-$id.tmp" "$dir/agent/reply-$id"
  done
}

selftest() {
  local audio=${1:-} rc=0 out
  case "$audio" in null|pulse) ;; *) echo "usage: $0 selftest null|pulse" >&2; return 2 ;; esac
  out=$(start "$audio") || return 1
  eval "$out"
  echo "started in $FLDIGI_START_MS ms: port $FLDIGI_PORT, folder $FLDIGI_DIR, sound $audio"
  env ${PULSE_SERVER:+PULSE_SERVER=$PULSE_SERVER} python3 "$TEMPLATES/selftest.py" \
    --port "$FLDIGI_PORT" --mode "$audio" || rc=1
  stop "$FLDIGI_DIR"
  return $rc
}

cmd=${1:-}
shift || true
case "$cmd" in
  start) start "$@" ;;
  stop) stop "$@" ;;
  selftest) selftest "$@" ;;
  agent) agent "$@" ;;
  *) sed -n '2,23p' "$0"; exit 2 ;;
esac
