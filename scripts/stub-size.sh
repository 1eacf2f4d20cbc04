#!/usr/bin/env bash
# Prints the size of the loader stub: the whole file in bytes, each section's size, and the DLLs
# it imports. The target is a stub under 96 KB (98304 bytes).
# Usage: scripts/stub-size.sh [path/to/quovldr.exe]   (default: build/win/quovldr.exe)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=${1:-$root/build/win/quovldr.exe}
objdump=i686-w64-mingw32-objdump
if [ ! -f "$exe" ]; then
  echo "stub-size: $exe not found (build the Windows tree first)" >&2
  exit 1
fi
size=$(stat -c %s "$exe")
echo "file: $exe"
echo "size: $size bytes ($(( (size + 1023) / 1024 )) KB; target under 98304 bytes)"
echo "sections (name, bytes in memory):"
"$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ { print $2, $3 }' | while read -r name hex; do
  printf "  %-10s %8d\n" "$name" "$((16#$hex))"
done
echo "imports:"
"$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/  \1/p'
