#!/usr/bin/env bash
# Sets up, builds and runs the panel. With no device named it starts the simulated
# device on a pseudo-terminal mapped as COM1 (and on 127.0.0.1:2323 for trying
# Ethernet with HOST:PORT) and stops it when the panel closes.
#   bash scripts/run.sh                 panel against the simulator
#   bash scripts/run.sh /dev/ttyUSB0    panel against a real device on COM1
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

BUILD="$(pwd)/${BUILD_DIR:-build}"
DEMO="$BUILD/demo"
mkdir -p "$DEMO/ports" "$DEMO/bmp"
cp -f "$BUILD/tevral-qx" "$DEMO/"
cp -f "$BUILD/output_reso.txt" "$DEMO/"
cp -f "$BUILD"/bmp/*.bmp "$DEMO/bmp/" 2>/dev/null || true
if [ ! -f "$DEMO/TEVRAL_QX.ini" ]; then
  printf '0\r\n1\r\n#FALSE#\r\n"127.0.0.1:2323"\r\n' > "$DEMO/TEVRAL_QX.ini"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display: the panel is a desktop program and needs a graphical session."
  echo "Run this command from a desktop terminal (or start one under Xvfb: xvfb-run -a bash $0)."
  exit 1
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
