#!/usr/bin/env bash
# Photographs the panel as the operator sees it: runs the screens_window test, which
# starts a private Xvfb, the simulated device and the panel, and saves
# <build>/screen_*.png (start, compact, full height in Matrix, Dual and 2X2, keypad)
# and <build>/screens_layout.txt. Then copies the full-height Dual picture to
# docs/screenshot.png for the README.
#   bash scripts/screenshots.sh        (BUILD_DIR=build-x to use another build folder)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="$(pwd)/${BUILD_DIR:-build}"
if [ ! -f "$BUILD/CMakeCache.txt" ]; then
  bash scripts/setup.sh
fi
cmake --build "$BUILD" -j"$(nproc)" --target screens_window tevral-qx veldra-sim tevral_artwork
(cd "$BUILD" && ctest -R '^screens_window$' --output-on-failure)
mkdir -p docs
cp -f "$BUILD/screen_full_dual.png" docs/screenshot.png
ls -1 "$BUILD"/screen_*.png "$BUILD/screens_layout.txt"
echo "docs/screenshot.png updated from screen_full_dual.png"
