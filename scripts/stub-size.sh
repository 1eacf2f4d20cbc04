#!/usr/bin/env bash
# Prints the size of the loader stub: the whole file in bytes beside the peer installer's LZMA
# x86 ANSI stub (from the Debian nsis package, when installed), each section's size in memory and
# in the file, the largest contributors from the linker map (by archive member or object), and
# the DLLs it imports. The target is a stub under 96 KB (98304 bytes).
# Usage: scripts/stub-size.sh [path/to/quovldr.exe [path/to/quovldr.map]]
#   (default: build/stub/quovldr.exe and the map the stub tree writes beside it)
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
exe=${1:-$root/build/stub/quovldr.exe}
map=${2:-$(dirname "$exe")/loader/quovldr.map}
objdump=i686-w64-mingw32-objdump
if [ ! -f "$exe" ]; then
  echo "stub-size: $exe not found (build the stub tree first: scripts/build.sh)" >&2
  exit 1
fi
size=$(stat -c %s "$exe")
echo "file: $exe"
echo "size: $size bytes ($(( (size + 1023) / 1024 )) KB; target under 98304 bytes)"

# The peer's stub as the package installs it; only its size is read.
peer=
if command -v dpkg >/dev/null 2>&1; then
  # The stubs come with the package's architecture-independent half (nsis-common).
  peer=$({ dpkg -L nsis nsis-common 2>/dev/null || true; } | grep -i '/stubs/lzma-x86-ansi$' |
    head -n 1 || true)
fi
if [ -n "$peer" ] && [ -f "$peer" ]; then
  peer_size=$(stat -c %s "$peer")
  diff=$((size - peer_size))
  if [ "$diff" -le 0 ]; then rel="$((-diff)) bytes smaller"; else rel="$diff bytes larger"; fi
  printf "peer stub (nsis %s): %d bytes; ours is %s (%d%% of it)\n" "$(basename "$peer")" \
    "$peer_size" "$rel" "$((size * 100 / peer_size))"
else
  echo "peer stub: nsis not installed (scripts/bootstrap.sh installs it)"
fi

# objdump -h: index, name, size, VMA, LMA, file offset, alignment. The raw size in the file is
# the memory size rounded up to the file alignment (none for .bss).
align_hex=$("$objdump" -p "$exe" | awk '$1 == "FileAlignment" { print $2 }')
align=$((16#${align_hex:-200}))
echo "sections (name, bytes in memory, bytes in file):"
"$objdump" -h "$exe" | awk '$1 ~ /^[0-9]+$/ { name = $2; size = $3; getline; print name, size, $0 }' |
  while read -r name hex flags; do
    bytes=$((16#$hex))
    if [[ $flags == *CONTENTS* ]]; then
      infile=$(( (bytes + align - 1) / align * align ))
    else
      infile=0
    fi
    printf "  %-10s %8d %8d\n" "$name" "$bytes" "$infile"
  done

# The map lists each input section as " .name  0xADDR  0xSIZE  file" (a long name puts the rest
# on the next line). Sections at address 0 were discarded; debug sections are stripped; .bss is
# not stored in the file.
if [ -f "$map" ]; then
  echo "largest contributors (bytes stored in the file, by archive member or object; top 15):"
  python3 - "$map" <<'PY' | sort -rn | head -n 15 | while read -r bytes obj; do
import re, sys
total = {}
def add(sec, addr, size, obj):
    if sec.startswith(('.debug', '.bss', 'COMMON')) or int(addr, 16) == 0 or int(size, 16) == 0:
        return
    obj = re.sub(r'.*/', '', obj)
    if sec == '.reloc':
        obj = '(base relocations)'
    if re.search(r'\.ltrans[0-9]*\.ltrans\.o$', obj):
        obj = '(whole-program code: our sources and the decoder)'
    total[obj] = total.get(obj, 0) + int(size, 16)
lines = open(sys.argv[1], errors='replace').read().splitlines()
for i, line in enumerate(lines):
    m = re.match(r'^ (\.\S+)\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S+)', line)
    if m:
        add(*m.groups())
        continue
    m = re.match(r'^ (\.\S+)$', line)
    if m and i + 1 < len(lines):
        n = re.match(r'^\s+(0x[0-9a-f]+)\s+(0x[0-9a-f]+)\s+(\S+)', lines[i + 1])
        if n:
            add(m.group(1), *n.groups())
for obj, size in total.items():
    print(size, obj)
PY
    printf "  %8d  %s\n" "$bytes" "$obj"
  done
else
  echo "largest contributors: no linker map at $map"
fi

echo "imports:"
"$objdump" -p "$exe" | sed -n 's/^[[:space:]]*DLL Name: \(.*\)$/  \1/p'
