#!/usr/bin/env bash
# Builds everything and runs every test: host unit tests, the sanitizer trees (with short fuzz
# runs), and the Windows tests (unit and end-to-end) on a virtual display: the 32-bit tree's
# under Wine where this machine runs 32-bit programs, the 64-bit tree's (the same tests around
# the loader's x86-64 build, and the library for setup programs) under wine64.
# Ends with one line that adds up all CTest runs.
set -uo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
scripts/bootstrap.sh || exit 1
scripts/build.sh || exit 1
scripts/build-sanitize.sh || exit 1

passed=0; failed=0; skipped=0
ctest_args=()
run_ctest() { # dir, extra command prefix...; more ctest arguments in ctest_args
  local dir=$1; shift
  local log; log=$(mktemp)
  (cd "$dir" && "$@" ctest --output-on-failure -j "${QUOV_TEST_JOBS:-2}" "${ctest_args[@]}") 2>&1 | tee "$log"
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
echo "== the tests of the two-thread code under ThreadSanitizer"
ctest_args=(-R '^(setupdata_test|records_test)$')
run_ctest build/tsan
ctest_args=()
xvfb=(xvfb-run -a -s "-screen 0 1024x768x24")
test_names() { (cd "$1" && ctest -N | sed -n 's/^ *Test *#[0-9]*: //p'); }
# 64-bit Windows programs run natively under wine64, in a prefix of their own (made first: the
# restart tests copy it).
scripts/wine64-run.sh cmd /c exit >/dev/null 2>&1
if why=$(scripts/wine-native.sh) || [ "${QUOV_WINE_EMULATED:-0}" = 1 ]; then
  scripts/wine-prefix.sh || exit 1
  echo "== Windows tests under Wine"
  run_ctest build/win "${xvfb[@]}"
  # The 64-bit tree repeats the loader's tests on its x86-64 build: here only what it adds.
  only64=$(comm -23 <(test_names build/win64 | sort) <(test_names build/win | sort) | paste -sd'|')
  echo "== 64-bit Windows tests under wine64 that the 32-bit tree lacks: ${only64//|/, }"
  ctest_args=(-R "^($only64)\$")
  run_ctest build/win64 "${xvfb[@]}"
  ctest_args=()
else
  # The Windows trees are still built (above); the tests that need no Wine still run.
  echo "== Windows tests under Wine: SKIPPED: $why."
  echo "   (QUOV_WINE_EMULATED=1 runs them through such an emulator all the same, in hours.)"
  no_wine=$(cd build/win && ctest --show-only=json-v1 | python3 -c '
import json, sys
for t in json.load(sys.stdin)["tests"]:
    if not any("wine" in part for part in t.get("command", [])):
        print(t["name"])' | paste -sd'|')
  echo "== Windows-tree tests that need no Wine: ${no_wine//|/, }"
  ctest_args=(-R "^($no_wine)\$")
  run_ctest build/win
  ctest_args=()
  all=$(cd build/win && ctest -N | sed -n 's/^Total Tests: //p')
  skipped=$((all - $(echo "$no_wine" | tr '|' '\n' | grep -c .)))
  echo "== 64-bit Windows tests under wine64: the loader's x86-64 build (build/stub64, the same"
  echo "   sources as the shipped 32-bit loader) with every Windows test around it"
  run_ctest build/win64 "${xvfb[@]}"
fi

echo
if [ "$skipped" -gt 0 ]; then
  echo "All test runs: $passed passed, $failed failed, $skipped skipped"
else
  echo "All test runs: $passed passed, $failed failed"
fi
[ "$failed" -eq 0 ]
