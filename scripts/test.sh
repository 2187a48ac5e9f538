#!/usr/bin/env bash
# Sets up (packages, build) and runs every test: the format check (fails the command
# on a file that does not match .clang-format), then the whole suite built with
# AddressSanitizer and UndefinedBehaviorSanitizer (build-asan/), then the whole
# suite of the normal build (build/). Ends with CTest's summary.
#   SANITIZE=0 bash scripts/test.sh    skips the sanitizer run
set -euo pipefail
cd "$(dirname "$0")/.."
JOBS="${TEST_JOBS:-3}"
status=0

bash scripts/setup.sh --packages-only
bash scripts/check-format.sh || status=1

if [ "${SANITIZE:-1}" != 0 ]; then
  BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_EXTRA="-DTEVRAL_SANITIZE=ON" bash scripts/setup.sh
  echo "== tests built with AddressSanitizer and UndefinedBehaviorSanitizer"
  (cd build-asan && ctest --output-on-failure -j"$JOBS" "$@") || status=1
fi

bash scripts/setup.sh
echo "== tests of the normal build"
(cd "${BUILD_DIR:-build}" && ctest --output-on-failure -j"$JOBS" "$@") || status=1
exit $status
