#!/usr/bin/env bash
# Installs every Debian package the builds and tests need. Safe to run again: it does nothing
# when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-i686
  lzma-dev liblzma-dev zlib1g-dev xz-utils libssl-dev
  googletest
  wine wine64 xvfb xauth x11-apps imagemagick
  locales osslsigncode openssl python3 inotify-tools zip
  nsis
  fonts-vlgothic g++-mingw-w64-x86-64 wine64
  7zip
)
# Wine's 32-bit half runs the shipped loader itself. Where it cannot be installed (a foreign
# architecture's index out of step with the native one) the tests fall back to the 64-bit tree.
optional=(wine32:i386)

is_missing() { ! dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q "install ok installed"; }
missing=()
for p in "${packages[@]}"; do is_missing "$p" && missing+=("$p"); done
optional_missing=()
for p in "${optional[@]}"; do is_missing "$p" && optional_missing+=("$p"); done

have_locale() { locale -a 2>/dev/null | grep -qi "^$1\$"; }

if [ $((${#missing[@]} + ${#optional_missing[@]})) -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  # A mirror caught mid-sync fails the update for one index; try again, and if it still fails,
  # go on with the indexes that did arrive: the install below says plainly if a package is missing.
  for attempt in 1 2 3; do
    if $SUDO apt-get update -q; then break; fi
    echo "bootstrap: package index update failed (attempt $attempt of 3)" >&2
    [ "$attempt" = 3 ] || sleep $((attempt * 5))
  done
  if [ ${#missing[@]} -gt 0 ]; then
    $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
  fi
  # Where the foreign architecture's security index is missing while the native packages are
  # ahead of the release, both halves of Wine can still be taken from the release itself (the
  # libraries both halves share must be of one version).
  codename=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
  native=$(dpkg --print-architecture)
  if [ ${#optional_missing[@]} -gt 0 ] &&
     ! $SUDO apt-get install -y -q --no-install-recommends "${optional_missing[@]}" &&
     ! { [ -n "$codename" ] && $SUDO apt-get install -y -q --no-install-recommends -t "$codename" \
           "${optional_missing[@]}" wine64 "libwine:$native" libwine:i386 \
           "libgstreamer-plugins-base1.0-0:$native" libgstreamer-plugins-base1.0-0:i386; }; then
    echo "bootstrap: could not install ${optional_missing[*]}; the 32-bit Wine tests will be" \
      "skipped and the 64-bit tree run in their place" >&2
  fi
fi

# Some tests and benchmarks take real 32-bit x86 code from Wine's i386 DLLs. Where Wine's 32-bit
# half could not be installed, its package is unpacked for those files alone.
i386_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
if [ ! -d "$i386_dlls" ]; then
  unpack=$(mktemp -d)
  if (cd "$unpack" && apt-get download -q libwine:i386 >/dev/null) &&
     dpkg-deb -x "$unpack"/libwine_*_i386.deb "$unpack/tree" &&
     [ -d "$unpack/tree$i386_dlls" ]; then
    mkdir -p "$(dirname "$i386_dlls")"
    cp -r "$unpack/tree$i386_dlls" "$i386_dlls"
    echo "bootstrap: unpacked Wine's i386 DLLs into $i386_dlls (as sample x86 code)" >&2
  else
    echo "bootstrap: Wine's i386 DLLs are not available; tests that read them will fail" >&2
  fi
  rm -rf "$unpack"
fi

# Non-ASCII file names under Wine need the Unix locales; the default languages' end-to-end test
# and screenshots run the loader under one locale per ANSI code page.
for loc in zh_CN en_US ja_JP ko_KR zh_TW pl_PL ru_RU el_GR tr_TR he_IL ar_SA; do
  if ! have_locale "$loc.utf8"; then
    localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
exit 0
