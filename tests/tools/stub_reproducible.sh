#!/usr/bin/env bash
# Links the shipped loader a second time from the stub tree's own objects, a second later and
# with another SOURCE_DATE_EPOCH in the environment, and compares the result with the stub byte
# for byte. It proves that the link (where the code is generated, the PE time stamp and the
# checksum are written) depends on nothing but its inputs; the compiled objects carry no time
# and no build path, so two clean builds of one commit give the same stub.
# Usage: stub_reproducible.sh STUB_TREE. Exit 77 (skipped) when the stub tree is not built.
set -euo pipefail
tree=$1
if [[ ! -f $tree/build.ninja || ! -f $tree/quovldr.exe ]]; then
  echo "no stub tree at $tree (scripts/build.sh builds it)"
  exit 77
fi
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
link=$(cd "$tree" && ninja -t commands quovldr.exe | tail -n 1)
# The same command, writing its output, map and import library into the scratch folder.
link=$(sed -e "s| -o quovldr.exe | -o $scratch/quovldr.exe |" \
           -e "s|-Map=[^ ]*|-Map=$scratch/quovldr.map|" \
           -e "s|--out-implib,[^ ]*|--out-implib,$scratch/libquovldr.dll.a|" <<<"$link")
[[ $link == *"-o $scratch/quovldr.exe "* ]] || { echo "cannot find the link's output in: $link"; exit 1; }
sleep 1
(cd "$tree" && SOURCE_DATE_EPOCH=86400 bash -c "$link")
if ! cmp "$tree/quovldr.exe" "$scratch/quovldr.exe"; then
  echo "the stub differs from a second link of the same objects"
  exit 1
fi
echo "a second link of the stub gives the same $(stat -c %s "$tree/quovldr.exe") bytes"
