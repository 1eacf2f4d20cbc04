#!/usr/bin/env bash
# Exits 0 when this machine runs 32-bit x86 Linux programs itself, as Wine's 32-bit loader
# needs, and that loader is installed; otherwise prints why not and exits 1. (Without it, "wine"
# falls back to wine64, which fails to start a 32-bit program yet exits 0.) Some virtual
# machines' kernels refuse such programs ("Exec format error"); an emulator registered for them
# through binfmt_misc (qemu-user) does run Wine, but every Wine start then takes minutes, so that
# counts as "not itself" too.
for entry in /proc/sys/fs/binfmt_misc/*; do
  if grep -qs '^enabled' "$entry" && grep -qs '^interpreter .*qemu-i386' "$entry"; then
    echo "32-bit x86 programs run here only through the emulator registered in $entry"
    exit 1
  fi
done
if ! why=$(/lib/ld-linux.so.2 --version 2>&1 >/dev/null); then
  echo "this machine's kernel does not run 32-bit x86 programs, and Wine's 32-bit loader is one" \
    "(/lib/ld-linux.so.2: ${why:-not found})"
  exit 1
fi
if [ ! -x /usr/lib/wine/wine ]; then
  echo "Wine's 32-bit half is not installed (package wine32:i386; scripts/bootstrap.sh tries it)"
  exit 1
fi
exit 0
