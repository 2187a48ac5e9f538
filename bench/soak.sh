#!/bin/bash
# Soak of the panel against faulty simulated devices, larger than the CTest run
# (tests/soak/test_soak.cpp): several seeds, each with many actions, run side by side.
#
#   bench/soak.sh [-b BUILD_DIR] [-n ACTIONS] [-j JOBS] [SEED ...]
#
#   -b  build directory holding soak_panel and veldra-sim (default: build)
#   -n  operator actions per seed (default 5000; about 4 to 5 minutes per 1000)
#   -j  seeds run at the same time (default 3, at most 9)
#   SEED ...  seeds to run (default: 1 2 3)
#
# Each parallel run gets its own pair of loopback addresses, 127.0.0.72/73 up to
# 127.0.0.88/89 (the CTest run uses 127.0.0.70/71). Logs go to
# $BUILD_DIR/soak-logs/seed-N.log; the figures of every seed are printed at the end.
# The exit status is 0 only when every seed passed.
set -u

build=build
actions=5000
jobs=3
while getopts "b:n:j:" opt; do
  case $opt in
    b) build=$OPTARG ;;
    n) actions=$OPTARG ;;
    j) jobs=$OPTARG ;;
    *) sed -n '2,16p' "$0"; exit 2 ;;
  esac
done
shift $((OPTIND - 1))
seeds=("$@")
[ ${#seeds[@]} -eq 0 ] && seeds=(1 2 3)
[ "$jobs" -ge 1 ] && [ "$jobs" -le 9 ] || { echo "soak.sh: -j must be 1..9" >&2; exit 2; }

build=$(cd "$build" && pwd) || exit 2
for f in soak_panel veldra-sim; do
  [ -x "$build/$f" ] || { echo "soak.sh: $build/$f is missing (build it first)" >&2; exit 2; }
done
logs=$build/soak-logs
mkdir -p "$logs" /tmp/tevral-runtime

run_seed() { # seed slot
  local seed=$1 slot=$2
  env QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=/tmp/tevral-runtime \
      VELDRA_SIM="$build/veldra-sim" TEVRAL_RUNTIME_DIR="$build" \
      SOAK_SEED="$seed" SOAK_ACTIONS="$actions" \
      QTEST_FUNCTION_TIMEOUT=$((actions * 3000 + 600000)) \
      SOAK_TCP_ADDR="127.0.0.$((70 + 2 * slot))" SOAK_SETUP_ADDR="127.0.0.$((71 + 2 * slot))" \
      "$build/soak_panel" > "$logs/seed-$seed.log" 2>&1
  echo $? > "$logs/seed-$seed.rc"
}

echo "soak: ${#seeds[@]} seed(s) x $actions actions, $jobs at a time; logs in $logs"
start=$(date +%s)
declare -A slot_pid=()
i=0
for seed in "${seeds[@]}"; do
  # wait for a free slot (slots 1..jobs)
  while :; do
    free=""
    for ((s = 1; s <= jobs; s++)); do
      pid=${slot_pid[$s]:-}
      if [ -z "$pid" ] || ! kill -0 "$pid" 2>/dev/null; then free=$s; break; fi
    done
    [ -n "$free" ] && break
    sleep 1
  done
  rm -f "$logs/seed-$seed.rc"
  run_seed "$seed" "$free" &
  slot_pid[$free]=$!
  echo "  seed $seed started (addresses 127.0.0.$((70 + 2 * free))/$((71 + 2 * free)))"
  i=$((i + 1))
done
wait
elapsed=$(( $(date +%s) - start ))

status=0
for seed in "${seeds[@]}"; do
  rc=$(cat "$logs/seed-$seed.rc" 2>/dev/null || echo "?")
  echo
  echo "=== seed $seed: $([ "$rc" = 0 ] && echo PASS || echo "FAIL (exit $rc)")"
  # the figures, with their indented continuation lines
  awk '/^QINFO  : TestSoak::/ { sub(/^QINFO  : TestSoak::[a-z_]*\(\) /, "  "); print; more = 1; next }
       more && /^      / { print; next } { more = 0 }' "$logs/seed-$seed.log"
  if [ "$rc" != 0 ]; then
    status=1
    grep -A40 -E "^FAIL!|\*\*\* soak:" "$logs/seed-$seed.log" | head -80 | sed 's/^/  | /'
  fi
done
echo
echo "soak: done in ${elapsed} s; $([ $status = 0 ] && echo "all seeds passed" || echo "FAILURES")"
exit $status
