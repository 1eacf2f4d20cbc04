#!/usr/bin/env bash
# Builds everything and runs every test: host unit tests, the sanitizer tree with short fuzz
# runs, and the Windows tests (unit and end-to-end) under Wine on a virtual display.
# Ends with one line that adds up all CTest runs.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/bootstrap.sh || exit 1
scripts/build.sh || exit 1
scripts/build-sanitize.sh || exit 1
scripts/wine-prefix.sh || exit 1

passed=0; failed=0
run_ctest() { # dir, extra command prefix...
  local dir=$1; shift
  local log; log=$(mktemp)
  (cd "$dir" && "$@" ctest --output-on-failure -j "${QUOV_TEST_JOBS:-2}") 2>&1 | tee "$log"
  local total fails
  total=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log" | tail -1)
  fails=$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -1)
  if [ -z "$total" ]; then failed=$((failed + 1)); rm -f "$log"; return; fi
  passed=$((passed + total - fails)); failed=$((failed + fails))
  rm -f "$log"
}

echo "== host tests"
run_ctest build/host
echo "== sanitizer tests and short fuzz runs"
run_ctest build/asan
echo "== Windows tests under Wine"
run_ctest build/win xvfb-run -a -s "-screen 0 1024x768x24"

echo
echo "All test runs: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
