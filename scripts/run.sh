#!/usr/bin/env bash
# Sets up, builds and runs the panel. With no device named it starts the simulated
# device on a pseudo-terminal mapped as COM1 (and on 127.0.0.1:2323 for trying
# Ethernet with HOST:PORT) and stops it when the panel closes.
#   bash scripts/run.sh                 panel against the simulator
#   bash scripts/run.sh /dev/ttyUSB0    panel against a real device on COM1
set -euo pipefail
cd "$(dirname "$0")/.."

# Before anything is built: the panel cannot start without a graphical session
# (a QT_QPA_PLATFORM such as offscreen or vnc needs none).
case "${QT_QPA_PLATFORM:-}" in
  "" | xcb* | wayland*) needs_display=yes ;;
  *) needs_display="" ;;
esac
if [ -n "$needs_display" ] && [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the panel is a desktop program and needs a graphical session."
  echo "Run this command from a desktop terminal (or start one under Xvfb: xvfb-run -a bash $0)."
  exit 1
fi

# Only what the demonstration runs: the panel (with its pictures) and the simulator.
BUILD_TARGETS="tevral-qx veldra-sim tevral_artwork" bash scripts/setup.sh

BUILD="$(pwd)/${BUILD_DIR:-build}"
DEMO="$BUILD/demo"
mkdir -p "$DEMO/ports" "$DEMO/bmp"
cp -f "$BUILD/tevral-qx" "$DEMO/"
cp -f "$BUILD/output_reso.txt" "$DEMO/"
cp -f "$BUILD"/bmp/*.bmp "$DEMO/bmp/" 2>/dev/null || true
# The demonstration keeps its settings and COM map in its own folder: a user's own
# settings or ports/COM1 (for an installed panel) must neither steer it nor be
# rewritten by it.
export XDG_CONFIG_HOME="$DEMO/config"
mkdir -p "$XDG_CONFIG_HOME"
INI="$DEMO/TEVRAL_QX.ini"
if [ $# -ge 1 ] && [ -f "$INI" ] && [ "$(tr -d '\r' <"$INI" | wc -l)" -ge 4 ]; then
  # A device on COM1: start on RS-232 COM1 whatever an earlier session chose; the
  # window height and the address stay.
  rest=$(tail -n +3 "$INI")
  printf '0\r\n1\r\n%s\n' "$rest" >"$INI.new" && mv -f "$INI.new" "$INI"
elif [ $# -ge 1 ] || [ ! -f "$INI" ]; then
  printf '0\r\n1\r\n#FALSE#\r\n"127.0.0.1:2323"\r\n' >"$INI"
fi

SIM_PID=""
cleanup() { if [ -n "$SIM_PID" ]; then kill "$SIM_PID" 2>/dev/null || true; wait "$SIM_PID" 2>/dev/null || true; fi; }
trap cleanup EXIT

if [ $# -ge 1 ]; then
  ln -sfn "$1" "$DEMO/ports/COM1"
  echo "COM1 -> $1"
else
  rm -f "$DEMO/ports/COM1"
  "$BUILD/veldra-sim" --pty "$DEMO/ports/COM1" --tcp 127.0.0.1:2323 >/dev/null &
  SIM_PID=$!
  for _ in $(seq 50); do [ -e "$DEMO/ports/COM1" ] && break; sleep 0.1; done
  echo "Simulated VELDRA on COM1 (pseudo-terminal) and Ethernet 127.0.0.1:2323."
fi
echo "Starting the panel: press Refresh to read the device."
"$DEMO/tevral-qx"
