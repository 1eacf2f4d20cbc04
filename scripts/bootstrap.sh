#!/usr/bin/env bash
# Installs every Debian package the builds and tests need. Safe to run again: it does nothing
# when everything is already there.
set -euo pipefail

packages=(
  cmake ninja-build g++ clang libclang-rt-14-dev pkg-config
  g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools binutils-mingw-w64-i686
  lzma-dev liblzma-dev zlib1g-dev xz-utils libssl-dev
  googletest
  wine wine32:i386 wine64 xvfb xauth x11-apps imagemagick
  locales osslsigncode openssl python3 inotify-tools zip
  nsis
  fonts-vlgothic g++-mingw-w64-x86-64 wine64
  7zip
)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

have_locale() { locale -a 2>/dev/null | grep -qi "^$1\$"; }

if [ ${#missing[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then SUDO=sudo; else SUDO=; fi
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $SUDO dpkg --add-architecture i386
  fi
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q --no-install-recommends "${missing[@]}"
fi

# Non-ASCII file names under Wine need the Unix locales; the default languages' end-to-end test
# and screenshots run the loader under one locale per ANSI code page.
for loc in zh_CN en_US ja_JP ko_KR zh_TW pl_PL ru_RU el_GR tr_TR he_IL ar_SA; do
  if ! have_locale "$loc.utf8"; then
    localedef -i "$loc" -f UTF-8 "$loc.UTF-8"
  fi
done
exit 0
