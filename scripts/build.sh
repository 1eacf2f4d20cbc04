#!/usr/bin/env bash
# Configures and builds the trees: build/host (native: tools and host tests), build/stub (the
# shipped loader, MinGW-w64 i686 with the win32 thread model) and build/win (MinGW-w64 i686 with
# the posix thread model: Windows tests, which run the stub tree's loader) and build/win64
# (MinGW-w64 x86_64: the library for setup programs, its tests under wine64, the example).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
jobs=${QUOV_JOBS:-$(nproc)}
cmake -S "$root" -B "$root/build/host" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$root/build/host" -j "$jobs"
cmake -S "$root" -B "$root/build/stub" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUOV_STUB_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$root/build/stub" -j "$jobs"
cmake -S "$root" -B "$root/build/win" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" \
  -DQUOV_HOST_BUILD="$root/build/host" -DQUOV_STUB_EXE="$root/build/stub/quovldr.exe" >/dev/null
cmake --build "$root/build/win" -j "$jobs"
cmake -S "$root" -B "$root/build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUOV_SETUPLIB_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
  -DQUOV_HOST_BUILD="$root/build/host" -DQUOV_STUB_EXE="$root/build/stub/quovldr.exe" >/dev/null
cmake --build "$root/build/win64" -j "$jobs"
