#!/usr/bin/env bash
# Makes the release archives from the built trees (run scripts/build.sh first; nothing is built
# here): a Linux tar.gz, a Debian package and a Windows zip, each with the version, the license
# and a SHA-256 list of the files inside, and a SHA256SUMS of the archives beside them.
#
#   scripts/release.sh [--linux-only] [-o DIR]     (default DIR: build/release)
#
# The same commit gives the same bytes: every time stamp is SOURCE_DATE_EPOCH (the commit's time
# unless it is set), entries are sorted, owners are root and modes are 0755 or 0644.
# The 64-bit Windows quovpack.exe comes from QUOV_WIN64_QUOVPACK (default
# build/win64/tools/quovpack.exe); without it only --linux-only goes on.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
host=$root/build/host
win64_quovpack=${QUOV_WIN64_QUOVPACK:-$root/build/win64/tools/quovpack.exe}

out=$root/build/release
linux_only=0
while [ $# -gt 0 ]; do
  case $1 in
    --linux-only) linux_only=1 ;;
    -o) out=$2; shift ;;
    -h|--help) sed -n '2,12s/^# \{0,1\}//p' "$0"; exit 0 ;;
    *) echo "release.sh: unknown argument $1 (see --help)" >&2; exit 2 ;;
  esac
  shift
done
fail() { echo "release.sh: $*" >&2; exit 1; }

[ -x "$host/quovpack" ] || fail "no $host/quovpack: run scripts/build.sh first"
if [ "$linux_only" = 0 ] && [ ! -f "$win64_quovpack" ]; then
  fail "no 64-bit Windows quovpack at $win64_quovpack: build it, name it with" \
    "QUOV_WIN64_QUOVPACK, or pass --linux-only for the Linux archives alone"
fi
if [ "$linux_only" = 0 ] &&
   ! objdump -f "$win64_quovpack" 2>/dev/null | grep 'format pei-x86-64' >/dev/null; then
  fail "$win64_quovpack is not a 64-bit Windows program"
fi
if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH=$(git -C "$root" log -1 --format=%ct 2>/dev/null) ||
    fail "not a git checkout: set SOURCE_DATE_EPOCH to the release's time"
fi
export SOURCE_DATE_EPOCH TZ=UTC LC_ALL=C
umask 022
version=$("$host/quovpack" --version | sed -n '1s/^quovpack \([^ ,]*\).*/\1/p')
[ -n "$version" ] || fail "cannot read the version from $host/quovpack --version"
commit=$(git -C "$root" rev-parse HEAD 2>/dev/null || echo unknown)
if [ -n "$(git -C "$root" status --porcelain --untracked-files=no 2>/dev/null)" ]; then
  echo "release.sh: note: the working tree differs from commit $commit" >&2
  commit="$commit with local changes"
fi

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
mkdir -p "$out"
out=$(cd "$out" && pwd)

# Everything cmake --install puts under a prefix, and the documentation.
prefix=$stage/prefix
cmake --install "$host" --prefix "$prefix" --strip >/dev/null
doc=$prefix/share/doc/quovpack
mkdir -p "$doc"
cp "$root/README.md" "$doc/README.md"
cp "$root/tools/README.md" "$doc/quovpack.md"
cp "$root/messages/README.md" "$doc/messages.md"
cp "$root/docs/setup-program.md" "$doc/setup-program.md"
cp -r "$root/examples/minimal-setup" "$root/examples/cmake-project" "$doc/"

# The fixed parts of every archive: modes, times, the version, the license, the file list.
normalise() { # folder
  find "$1" -type d -exec chmod 0755 {} +
  find "$1" -type f -perm /111 -exec chmod 0755 {} +
  find "$1" -type f ! -perm /111 -exec chmod 0644 {} +
  find "$1" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +
}
describe() { # folder, where LICENSE, VERSION and SHA256SUMS go (relative to it)
  local dir=$1/$2
  mkdir -p "$dir"
  cp "$root/LICENSE" "$dir/$3"
  printf 'Quov Setup Loader %s\ncommit %s\n' "$version" "$commit" > "$dir/VERSION"
  (cd "$1" && find . -type f ! -path './DEBIAN/*' | sed 's|^\./||' | sort |
     xargs -d '\n' sha256sum) > "$stage/SHA256SUMS"
  mv "$stage/SHA256SUMS" "$dir/SHA256SUMS"
  normalise "$1"
}
make_tar() { # folder, archive
  tar --sort=name --format=gnu --owner=0 --group=0 --numeric-owner \
    --mtime="@$SOURCE_DATE_EPOCH" -C "$(dirname "$1")" -cf - "$(basename "$1")" | gzip -9 -n > "$2"
}
make_zip() { # folder, archive
  rm -f "$2"
  (cd "$(dirname "$1")" && find "$(basename "$1")" | sort | zip -X -9 -q -@ "$2")
}
archives=()

# Linux: the prefix as it is.
linux=quovpack-$version-linux-$(uname -m)
cp -a "$prefix" "$stage/$linux"
describe "$stage/$linux" . LICENSE
make_tar "$stage/$linux" "$out/$linux.tar.gz"
archives+=("$linux.tar.gz")

# Debian: the prefix under /usr, the license as the copyright file, the manual page compressed.
arch=$(dpkg --print-architecture)
deb=$stage/deb
mkdir -p "$deb/DEBIAN"
cp -a "$prefix" "$deb/usr"
gzip -9 -n "$deb/usr/share/man/man1/quovpack.1"
depends=$(objdump -p "$deb/usr/bin/quovpack" | awk '/NEEDED/ { print $2 }' | while read -r lib; do
    path=$(ldconfig -p | awk -v lib="$lib" '$1 == lib && /x86-64/ { print $NF; exit }')
    [ -n "$path" ] || fail "cannot find $lib, which quovpack needs"
    dpkg -S "$path" 2>/dev/null || dpkg -S "$(realpath "$path")" ||
      fail "no Debian package holds $path"
  done | cut -d: -f1 | sort -u | paste -sd, | sed 's/,/, /g')
cat > "$deb/DEBIAN/control" <<EOF
Package: quovpack
Version: $version
Architecture: $arch
Maintainer: The Quov Setup Loader authors <quov-setup-loader@users.noreply.invalid>
Installed-Size: $(du -sk "$deb/usr" | cut -f1)
Depends: $depends
Section: devel
Priority: optional
Description: packs setup programs into small Windows installers
 quovpack packs a Windows setup program, or a folder of files with the
 reference setup program, behind the 32-bit Quov loader, and checks, inspects
 and extracts such installers. With the loader, the message files, the library
 for setup programs (32-bit and 64-bit MinGW-w64) and a CMake package.
EOF
describe "$deb" usr/share/doc/quovpack copyright
dpkg-deb --root-owner-group -Zxz --build "$deb" "$out/quovpack_${version}_$arch.deb" >/dev/null
archives+=("quovpack_${version}_$arch.deb")

# Windows: the same layout, with the 64-bit quovpack.exe, which finds its files the same way.
if [ "$linux_only" = 0 ]; then
  windows=quovpack-$version-windows-x64
  cp -a "$prefix" "$stage/$windows"
  rm "$stage/$windows/bin/quovpack"
  cp "$win64_quovpack" "$stage/$windows/bin/quovpack.exe"
  chmod 0755 "$stage/$windows/bin/quovpack.exe"
  rm -r "$stage/$windows/share/man"
  describe "$stage/$windows" . LICENSE
  make_zip "$stage/$windows" "$out/$windows.zip"
  archives+=("$windows.zip")
fi

(cd "$out" && sha256sum "${archives[@]}" > SHA256SUMS)
for a in "${archives[@]}"; do echo "$out/$a"; done
