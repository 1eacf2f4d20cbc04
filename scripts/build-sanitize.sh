#!/usr/bin/env bash
# Configures and builds the sanitizer tree build/asan: clang with AddressSanitizer and
# UndefinedBehaviorSanitizer, the host unit tests and the libFuzzer targets of fuzz/.
# Its CTest runs the unit tests and a short run of each fuzz target.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${QUOV_JOBS:-$(nproc)}
dir=${QUOV_ASAN_DIR:-$root/build/asan}
CC=clang CXX=clang++ cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DQUOV_SANITIZE=ON -DQUOV_FUZZ=ON >/dev/null
cmake --build "$dir" -j "$jobs"
