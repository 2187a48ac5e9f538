#!/usr/bin/env bash
# Installs every Debian package the build, tests and demo need, then configures
# and builds into build/ (only BUILD_TARGETS, a list of targets, when it is set;
# nothing with --packages-only). Idempotent: a second run installs nothing.
set -euo pipefail
cd "$(dirname "$0")/.."

PACKAGES=(
  build-essential cmake pkg-config clang-format
  dpkg-dev file
  lintian help2man desktop-file-utils appstream man-db
  qt6-base-dev qt6-serialport-dev libqt6serialport6
  xvfb xauth xdotool imagemagick
  fonts-liberation fonts-dejavu-core fonts-arphic-uming
  libtelnet-dev ser2net
  libmosquitto-dev mosquitto mosquitto-clients
  qt6-httpserver-dev qt6-websockets-dev
  chromium chromium-driver python3-selenium
  ccache
)

missing=()
for p in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if ((${#missing[@]})); then
  SUDO=""
  if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

if [ "${1:-}" = "--packages-only" ]; then exit 0; fi

BUILD_DIR="${BUILD_DIR:-build}"
# ccache keys on paths below the project, so clones and work trees share their objects.
export CCACHE_BASEDIR="${CCACHE_BASEDIR:-$(dirname "$PWD")}"
cmake -S . -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" \
  -DCMAKE_CXX_COMPILER_LAUNCHER=ccache ${CMAKE_EXTRA:-} >/dev/null
# shellcheck disable=SC2086 # a list of target names
cmake --build "$BUILD_DIR" -j"$(nproc)" ${BUILD_TARGETS:+--target $BUILD_TARGETS}
