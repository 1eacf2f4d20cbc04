#!/usr/bin/env bash
# Builds and runs the benchmarks in a Release host tree of their own (build/bench by default).
# They print figures and assert nothing. Arguments go to extraction_bench (DLL-DIR MIN-MB).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
dir=${QUOV_BENCH_DIR:-$root/build/bench}
cmake -S "$root" -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$dir" -j "${QUOV_JOBS:-$(nproc)}" --target extraction_bench
"$dir/bench/extraction_bench" "$@"
