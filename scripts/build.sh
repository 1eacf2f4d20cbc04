#!/usr/bin/env bash
# Configures and builds the trees: build/host (native: tools and host tests), build/stub (the
# shipped loader, MinGW-w64 i686 with the win32 thread model), build/win (MinGW-w64 i686 with
# the posix thread model: Windows tests, which run the stub tree's loader), build/stub64 (the
# same loader sources and flags for x86_64: a test vehicle that runs under wine64 where 32-bit
# programs cannot) and build/win64 (MinGW-w64 x86_64: the Windows tests around the stub64
# loader, the library for setup programs with its tests, the example).
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
cmake -S "$root" -B "$root/build/stub64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUOV_STUB_ONLY=ON \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
cmake --build "$root/build/stub64" -j "$jobs"
cmake -S "$root" -B "$root/build/win64" -G Ninja -DCMAKE_BUILD_TYPE=Release -DQUOV_SETUPLIB_ONLY=OFF \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-x86_64.cmake" \
  -DQUOV_HOST_BUILD="$root/build/host" -DQUOV_STUB_EXE="$root/build/stub64/quovldr.exe" >/dev/null
cmake --build "$root/build/win64" -j "$jobs"
