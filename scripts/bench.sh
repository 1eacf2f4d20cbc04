#!/usr/bin/env bash
# Builds and runs the benchmarks in a Release host tree of their own (build/bench by default),
# then the extraction under Wine with the shipped loader's own build of the code (the stub tree,
# build/stub) on the same payload behind a small program. They print figures and assert nothing.
# Arguments go to extraction_bench (DLL-DIR MIN-MB).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${QUOV_BENCH_DIR:-$root/build/bench}
stub_dir=$root/build/stub
jobs=${QUOV_JOBS:-$(nproc)}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "$jobs" --target extraction_bench quovpack
"$dir/bench/extraction_bench" "$@"

echo
cmake -S "$root" -B "$stub_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
  -DQUOV_STUB_ONLY=ON -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$stub_dir" -j "$jobs" --target quovldr extraction_bench_win32 >/dev/null
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# quovpack packs only a program Windows can start: the launch benchmark's probe goes in front.
i686-w64-mingw32-gcc -O2 -nostdlib -e _ProbeEntry@0 -mwindows "$root/bench/launch_probe_win32.c" \
  -lkernel32 -lgcc -o "$work/probe.exe"
"$dir/bench/extraction_bench" --payload "$work/payload.bin" "$@"
cat "$work/probe.exe" "$work/payload.bin" > "$work/program.exe"
"$dir/quovpack" pack --stub "$stub_dir/quovldr.exe" --program "$work/program.exe" \
  --name "Extraction bench" --lang "$root/messages/en.txt" -o "$work/package.exe" >/dev/null
"$root/scripts/wine-run.sh" "$stub_dir/bench/extraction_bench_win32.exe" "$work/package.exe"
