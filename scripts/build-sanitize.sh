#!/usr/bin/env bash
# Configures and builds the sanitizer trees. build/asan: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, the host unit tests and the libFuzzer targets of fuzz/; its CTest
# runs the unit tests and a short run of each fuzz target. build/tsan: clang with
# ThreadSanitizer, only the tests of the code that runs on two threads (the program writer's,
# in setupdata_test, and the decoding ahead of the startup question's answer, in records_test);
# scripts/test.sh runs those alone.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${QUOV_JOBS:-$(nproc)}
dir=${QUOV_ASAN_DIR:-$root/build/asan}
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUOV_SANITIZE=ON -DQUOV_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$jobs"
tsan=${QUOV_TSAN_DIR:-$root/build/tsan}
CC=clang CXX=clang++ cmake -S "$root" -B "$tsan" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUOV_TSAN=ON >/dev/null
cmake --build "$tsan" -j "$jobs" --target setupdata_test records_test
