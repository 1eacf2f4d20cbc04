#!/usr/bin/env bash
# Configures and builds both trees: build/host (native) and build/win (MinGW-w64, i686).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${QUOV_JOBS:-$(nproc)}
cmake -S "$root" -B "$root/build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/host" -j "$jobs"
cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
  -DQUOV_HOST_BUILD="$root/build/host" >/dev/null
cmake --build "$root/build/win" -j "$jobs"
