#!/usr/bin/env bash
# Installer size against the peer tool: one program of SIZE_MB (default 30) MB, the end-to-end
# test setup program followed by Wine's i386 DLLs, packed by quovpack with several setup
# program dictionaries and by Debian's makensis (silent installer, SetCompressor /SOLID lzma);
# xz's best LZMA preset on the program alone beside them. Prints bytes, CPU seconds and peak
# memory. A benchmark: it prints figures and asserts nothing; not part of the test command.
#
# Usage: scripts/bench-size.sh [SIZE_MB]
# Environment: QUOV_STUB (default build/stub/quovldr.exe), QUOV_PACK (default
# build/host/quovpack), QUOV_SIZE_DIR (work directory, default build/bench-size).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
mb=${1:-30}
stub=$(realpath -m "${QUOV_STUB:-$root/build/stub/quovldr.exe}")
pack=$(realpath -m "${QUOV_PACK:-$root/build/host/quovpack}")
work=$(realpath -m "${QUOV_SIZE_DIR:-$root/build/bench-size}")
setup=$root/build/win/tests/e2e/e2e_setup_program.exe
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
for need in "$stub" "$pack" "$setup"; do
  [ -f "$need" ] || { echo "bench-size: $need not found (scripts/build.sh builds it)" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "bench-size: makensis missing (scripts/bootstrap.sh)" >&2; exit 1; }
mkdir -p "$work"
program=$work/program-$mb.exe
bytes=$((mb * 1000 * 1000))
# head stops reading at the size: the writers' broken pipe is expected.
( set +o pipefail
  { cat "$setup"; find "$dlls" -maxdepth 1 -name '*.dll' -size +64k | sort | xargs cat; } \
    2>/dev/null | head -c "$bytes" > "$program" )

measure() { # label output command...
  local label=$1 out=$2 stats
  shift 2
  /usr/bin/time -o "$work/time.txt" -f '%U %M' "$@" >/dev/null 2>&1
  stats=$(tail -n 1 "$work/time.txt")
  printf "%-44s %12s %8s %10s\n" "$label" "$(stat -c %s "$out")" "${stats% *}" "$((${stats#* } / 1024)) MB"
}
echo "installer size for a $bytes-byte program"
printf "%-44s %12s %8s %10s\n" "" bytes "CPU s" "peak"
for dict in 2M 8M 16M 32M; do
  label="quovpack --dict-size $dict"
  [ "$dict" = 16M ] && label="$label (the default)"
  measure "$label" "$work/ours-$dict.exe" "$pack" pack --stub "$stub" --program "$program" \
    --name "Size bench" --lang "$root/messages/en.txt" --dict-size "$dict" -o "$work/ours-$dict.exe"
done
cat > "$work/peer.nsi" <<NSI
Unicode false
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
OutFile "peer.exe"
Section
  InitPluginsDir
  SetOutPath "\$PLUGINSDIR"
  File "/oname=setup.exe" "$(basename "$program")"
  ExecWait '"\$PLUGINSDIR\\setup.exe"'
SectionEnd
NSI
(cd "$work" && measure "makensis /SOLID lzma" "$work/peer.exe" makensis -V1 peer.nsi)
xz --format=lzma -9e -c "$program" > "$work/program.lzma"
printf "%-44s %12s\n" "xz --format=lzma -9e (the program alone)" "$(stat -c %s "$work/program.lzma")"
grep -m1 'model name' /proc/cpuinfo | sed 's/.*: /machine: /'
