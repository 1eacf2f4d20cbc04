#!/usr/bin/env bash
# Makes the Linux release archives twice from the same trees, the second time later, with
# another umask and time zone, and compares them byte for byte. Checks what they hold: owners,
# times, the version, the license and a SHA-256 list that matches the files; and that without a
# 64-bit Windows quovpack the full release stops with the reason and writes nothing.
# Usage: release_reproducible.sh SOURCE_DIR WORK_DIR. Exit 77 (skipped) when the trees that the
# release takes files from are not built, or the checkout has no history.
set -Eeuo pipefail
trap 'echo "$0: failed at line $LINENO"' ERR
source_dir=$1 work=$2
build_root=$source_dir/build
for need in host/quovpack stub/quovldr.exe stub/filesetup/quovfiles.exe \
            win/setuplib/bundle/libquov_setup.a win64/setuplib/bundle/libquov_setup.a; do
  if [[ ! -f $build_root/$need ]]; then
    echo "no $build_root/$need (scripts/build.sh builds it)"
    exit 77
  fi
done
git -C "$source_dir" log -1 >/dev/null 2>&1 || { echo "not a git checkout"; exit 77; }
rm -rf "$work"
mkdir -p "$work"
release=$source_dir/scripts/release.sh

if QUOV_WIN64_QUOVPACK=$work/missing.exe "$release" -o "$work/refused" 2>"$work/refused.txt"; then
  echo "a release without the Windows quovpack was made"; exit 1
fi
grep -q "no 64-bit Windows quovpack at $work/missing.exe" "$work/refused.txt"
if [[ -n $(ls -A "$work/refused" 2>/dev/null) ]]; then
  echo "the refused release left files"; exit 1
fi

"$release" --linux-only -o "$work/a" >/dev/null
sleep 2
(umask 077 && TZ=Asia/Tokyo "$release" --linux-only -o "$work/b" 2>/dev/null >/dev/null)
for archive in "$work"/a/*; do
  cmp "$archive" "$work/b/$(basename "$archive")"
done
(cd "$work/a" && sha256sum --quiet -c SHA256SUMS)

epoch=$(git -C "$source_dir" log -1 --format=%ct)
when=$(date -u -d "@$epoch" '+%Y-%m-%d %H:%M')
tarball=$(ls "$work"/a/quovpack-*-linux-*.tar.gz)
deb=$(ls "$work"/a/quovpack_*.deb)
# Every entry: root's, from the commit's time, 0755 or 0644.
check_listing() { # what, listing
  local odd
  odd=$(awk -v when="$when" '$2 != "0/0" && $2 != "root/root" || $4 " " $5 != when ||
                             $1 !~ /^[d-]rw[x-]r-[x-]r-[x-]$/' <<<"$2")
  if [[ -n $odd ]]; then
    echo "$1: entries with other owners, times or modes:"; echo "$odd"; exit 1
  fi
}
minutes() { sed 's/:[0-9][0-9] / /'; }
check_listing "$tarball" "$(tar --numeric-owner --full-time -tvzf "$tarball" | minutes)"
check_listing "$deb" "$(dpkg-deb --fsys-tarfile "$deb" | tar --full-time -tv | minutes)"

mkdir "$work/tar" "$work/deb"
tar -xzf "$tarball" -C "$work/tar"
top=$(ls "$work/tar")
(cd "$work/tar/$top" && sha256sum --quiet -c SHA256SUMS && grep -q '^MIT License' LICENSE &&
   grep -q "^commit $(git -C "$source_dir" rev-parse HEAD)" VERSION)
dpkg-deb -x "$deb" "$work/deb"
(cd "$work/deb" && sha256sum --quiet -c usr/share/doc/quovpack/SHA256SUMS &&
   grep -q '^MIT License' usr/share/doc/quovpack/copyright)
# The unpacked tool finds its stub and message files from where it lies.
unpacked=$work/tar/$top
"$unpacked/bin/quovpack" languages | grep "$unpacked/share/quovpack/messages/de.txt" >/dev/null
echo "two releases of one commit are the same bytes: $(cd "$work/a" && ls | xargs)"
