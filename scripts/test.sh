#!/usr/bin/env bash
# Sets up (packages, build) and runs every test; ends with CTest's summary.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cd "${BUILD_DIR:-build}"
ctest --output-on-failure -j"${TEST_JOBS:-3}" "$@"
