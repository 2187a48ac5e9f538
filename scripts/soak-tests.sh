#!/usr/bin/env bash
# Runs the whole test suite N times beside two busy cores, in the sanitizer build
# (build-asan/) and the normal build (build/), each configured and built as
# scripts/test.sh does, and prints which tests failed in which round and a summary.
# A test that passes on a quiet machine and fails here depends on timing.
#
#   bash scripts/soak-tests.sh N [CTEST_ARGUMENT...]
#   BUILDS=build bash scripts/soak-tests.sh 2          the normal build only
#   bash scripts/soak-tests.sh 10 -LE build            without the embedding build test
#
# TEST_JOBS (3) tests run at a time, as in scripts/test.sh. Logs go to
# BUILD_DIR/soak-tests/ (build.log, round-R.log). The exit status is 0 only when every round of
# every build passed.
set -uo pipefail
cd "$(dirname "$0")/.." || exit 2

usage() {
  sed -n '2,13p' "$0" >&2
  exit 2
}
rounds=${1:-}
[[ $rounds =~ ^[1-9][0-9]*$ ]] || usage
shift
read -r -a builds <<<"${BUILDS:-build-asan build}"
jobs=${TEST_JOBS:-3}

# Two processes that keep a core each busy for the whole run; always ended, however
# the script ends.
burners=()
stop_burners() {
  ((${#burners[@]})) || return 0
  kill "${burners[@]}" 2>/dev/null
  wait "${burners[@]}" 2>/dev/null
  burners=()
}
trap stop_burners EXIT
trap 'exit 130' INT TERM HUP

configure() {
  case $1 in
    build-asan) BUILD_DIR=build-asan BUILD_TYPE=Debug CMAKE_EXTRA="-DTEVRAL_SANITIZE=ON" \
      bash scripts/setup.sh ;;
    build) BUILD_DIR=build bash scripts/setup.sh ;;
    *) echo "soak-tests: unknown build $1 (build-asan or build)" >&2; return 1 ;;
  esac
}

summary=()
status=0
for b in "${builds[@]}"; do
  logs="$b/soak-tests"
  mkdir -p "$logs"
  echo "== $b: configure and build (log: $logs/build.log)"
  if ! configure "$b" >"$logs/build.log" 2>&1; then
    tail -20 "$logs/build.log"
    summary+=("$b: the build failed")
    status=1
    continue
  fi
  for _ in 1 2; do
    yes >/dev/null &
    burners+=($!)
  done
  failed_rounds=0
  declare -A failures=()
  for ((r = 1; r <= rounds; r++)); do
    log="$logs/round-$r.log"
    start=$SECONDS
    (cd "$b" && ctest --output-on-failure -j"$jobs" "$@") >"$log" 2>&1
    code=$?
    # CTest's own list of the tests that did not pass, one "name (reason)" per line.
    failed=$(sed -n '/^The following tests FAILED:/,$p' "$log" | sed -n 's/^[[:space:]]*[0-9]* - //p')
    if [ $code -eq 0 ]; then
      echo "$b round $r/$rounds: passed ($((SECONDS - start)) s)"
    else
      failed_rounds=$((failed_rounds + 1))
      status=1
      echo "$b round $r/$rounds: FAILED ($((SECONDS - start)) s), see $log"
      if [ -n "$failed" ]; then
        while IFS= read -r t; do
          echo "    $t"
          name=${t%% (*}
          failures[$name]="${failures[$name]:-} $r"
        done <<<"$failed"
      else
        echo "    (ctest exit $code; no test listed)"
      fi
    fi
  done
  stop_burners
  line="$b: $((rounds - failed_rounds)) of $rounds rounds passed"
  for name in "${!failures[@]}"; do line+=$'\n'"    $name failed in round(s)${failures[$name]}"; done
  summary+=("$line")
  unset failures
done

echo "== summary (two busy cores beside the suite)"
for s in "${summary[@]}"; do echo "$s"; done
exit $status
