#!/usr/bin/env bash
# Installs the host tree into a scratch prefix and builds examples/cmake-project against it with
# the 32-bit MinGW toolchain, as an author would: find_package(Quovpack), the imported library
# and quovpack_add_installer. Then checks both installers with quovpack, that the one of the
# setup program holds the program just built, that a 64-bit build links too, and that a change
# to the program, the setup data or the installed folder packs the installer again (and
# nothing else does).
# Usage: cmake_package_example.sh SOURCE_DIR HOST_TREE WORK_DIR. Exit 77 (skipped) when a tree
# that the install takes files from is not built.
set -Eeuo pipefail
trap 'echo "$0: failed at line $LINENO"' ERR
source_dir=$1 host=$2 work=$3
build_root=$(dirname "$host")
for need in stub/quovldr.exe stub/filesetup/quovfiles.exe win/setuplib/bundle/libquov_setup.a \
            win64/setuplib/bundle/libquov_setup.a; do
  if [[ ! -f $build_root/$need ]]; then
    echo "no $build_root/$need (scripts/build.sh builds it)"
    exit 77
  fi
done
rm -rf "$work"
mkdir -p "$work"
prefix=$work/prefix src=$work/src build=$work/build
cmake --install "$host" --prefix "$prefix" >/dev/null
# A copy, so that touching its files leaves the checkout alone.
cp -r "$source_dir/examples/cmake-project" "$src"
cmake -S "$src" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-i686.cmake" >/dev/null
cmake --build "$build" >/dev/null

quovpack=$prefix/bin/quovpack
"$quovpack" verify "$build/Hello-setup.exe"
"$quovpack" verify "$build/dist/Hello-files-setup.exe"
"$quovpack" inspect --json "$build/Hello-setup.exe" | python3 -c '
import json, sys
report = json.load(sys.stdin)
names = [language["name"] for language in report["languages"]]
assert report["setup"]["application_name"] == "Hello Installer", report["setup"]
assert names == ["English", "German"], names'
"$quovpack" extract "$build/Hello-setup.exe" -o "$work/extracted.exe"
cmp "$work/extracted.exe" "$build/hello_setup.exe"
# Each architecture links its own library: the 32-bit build above, and a 64-bit one.
objdump -f "$build/hello_setup.exe" | grep 'file format pei-i386' >/dev/null
cmake -S "$src" -B "$work/build64" -G Ninja -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_TOOLCHAIN_FILE="$source_dir/cmake/toolchain-mingw-x86_64.cmake" >/dev/null
cmake --build "$work/build64" --target hello_setup >/dev/null
objdump -f "$work/build64/hello_setup.exe" | grep 'file format pei-x86-64' >/dev/null

# rebuild WHAT...: what the next build packs again, after the change made before it.
rebuild() {
  local expected=$1 log
  shift
  log=$(cmake --build "$build")
  local packed
  packed=$(sed -n 's|.*Packing the installer .*/\([^/]*\.exe\)$|\1|p' <<<"$log" | sort | xargs)
  if [[ $packed != "$expected" ]]; then
    echo "$*: expected to pack [$expected], packed [$packed]"
    echo "$log"
    exit 1
  fi
}
rebuild "" "a build with nothing changed"
touch "$src/hello_setup.c"
rebuild "Hello-setup.exe" "the program's source touched"
touch "$prefix/share/quovpack/messages/de.txt"
rebuild "Hello-setup.exe" "an installed message file touched"
printf 'Welcome back.\n' > "$src/welcome.txt"
rebuild "Hello-setup.exe" "the setup data changed"
printf 'Changed.\n' >> "$src/app/readme.txt"
rebuild "Hello-files-setup.exe" "a file of the folder changed"
printf 'New.\n' > "$src/app/new.txt"
rebuild "Hello-files-setup.exe" "a file added to the folder"
"$quovpack" verify "$build/dist/Hello-files-setup.exe"
echo "the example project builds against the installed package and packs again when it must"
