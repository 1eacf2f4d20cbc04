#!/usr/bin/env bash
# Installer size for a real folder of files against a 7z archive of it: quovpack pack --files on
# DIR (default: Wine's i386 DLL folder; with MB, only its first files in name order up to MB
# MiB, copied aside) with the default and the largest dictionary, beside
# `7zz a -t7z -m0=lzma -mx=9` on the same folder (Debian's 7zip package). Prints bytes, the ratio
# to the archive, CPU seconds and peak memory; then the extraction rate and memory of the stored
# folder beside the loader's extraction (bench/file_tree_bench). A benchmark: it prints figures
# and asserts nothing; not part of the test command.
#
# Usage: scripts/bench-tree.sh [DIR [MB]]
# Environment: QUOV_STUB (default build/stub/quovldr.exe), QUOV_PACK (default
# build/host/quovpack), QUOV_FILES_PROGRAM (default build/stub/filesetup/quovfiles.exe),
# QUOV_TREE_DIR (work directory, default build/bench-tree), QUOV_TREE_SKIP (words among size
# and rate: parts not to run).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source=$(realpath "${1:-/usr/lib/i386-linux-gnu/wine/i386-windows}")
mb=${2:-}
stub=$(realpath -m "${QUOV_STUB:-$root/build/stub/quovldr.exe}")
pack=$(realpath -m "${QUOV_PACK:-$root/build/host/quovpack}")
program=$(realpath -m "${QUOV_FILES_PROGRAM:-$root/build/stub/filesetup/quovfiles.exe}")
bench=$root/build/host/bench/file_tree_bench
work=$(realpath -m "${QUOV_TREE_DIR:-$root/build/bench-tree}")
skip=${QUOV_TREE_SKIP:-}
for need in "$stub" "$pack" "$program" "$bench"; do
  [ -f "$need" ] || { echo "bench-tree: $need not found (scripts/build.sh builds it)" >&2; exit 1; }
done
command -v 7zz >/dev/null || { echo "bench-tree: 7zz missing (scripts/bootstrap.sh)" >&2; exit 1; }
mkdir -p "$work"
tree=$source
if [ -n "$mb" ]; then
  tree=$work/tree
  rm -rf "$tree" && mkdir -p "$tree"
  total=0
  while IFS= read -r name; do
    [ "$total" -ge $((mb << 20)) ] && break
    cp -p "$source/$name" "$tree/"
    total=$((total + $(stat -c %s "$source/$name")))
  done < <(cd "$source" && find . -maxdepth 1 -type f -printf '%P\n' | LC_ALL=C sort)
fi

echo "tree: $tree, $(find "$tree" -type f | wc -l) files, $(du -sb "$tree" | cut -f1) bytes"
grep -m1 'model name' /proc/cpuinfo | sed 's/.*: /machine: /'
if [[ " $skip " != *" size "* ]]; then
  measure() { # label output command...
    local label=$1 out=$2 stats
    shift 2
    rm -f "$out"
    /usr/bin/time -o "$work/time.txt" -f '%U %M' "$@" >/dev/null 2>&1
    stats=$(tail -n 1 "$work/time.txt")
    printf "%-40s %11s %8s %8s %9s\n" "$label" "$(stat -c %s "$out")" \
      "$(awk -v a="$(stat -c %s "$out")" -v b="${peer:-0}" 'BEGIN { if (b) printf "%.4f", a / b }')" \
      "${stats% *}" "$((${stats#* } / 1024)) MB"
  }
  printf "%-40s %11s %8s %8s %9s\n" "" bytes "/ 7z" "CPU s" peak
  peer=
  measure "7zz a -t7z -m0=lzma -mx=9" "$work/peer.7z" 7zz a -t7z -m0=lzma -mx=9 "$work/peer.7z" "$tree"
  peer=$(stat -c %s "$work/peer.7z")
  for dict in 16M 64M; do
    label="quovpack pack --files --dict-size $dict"
    [ "$dict" = 64M ] && label="quovpack pack --files (64M, the default)"
    measure "$label" "$work/ours-$dict.exe" "$pack" pack --files "$tree" --zero-times \
      --stub "$stub" --program "$program" --name "Tree bench" --lang "$root/messages/en.txt" \
      --dict-size "$dict" -o "$work/ours-$dict.exe"
  done
  echo "(the installers hold the stub, $(stat -c %s "$stub") bytes, and the setup program" \
    "quovfiles.exe, $(stat -c %s "$program") bytes, besides the stored folder)"
fi
if [[ " $skip " != *" rate "* ]]; then
  echo
  "$bench" "$source" "${mb:-48}"
fi
