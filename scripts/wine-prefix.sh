#!/usr/bin/env bash
# Creates the Wine prefix the Windows tests run in (idempotent). Message boxes close slowly
# unless the X11 driver is told not to let the window manager manage them.
set -eu
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${QUOV_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEARCH=win32
if [ -f "$WINEPREFIX/.quov-ready" ]; then exit 0; fi
mkdir -p "$(dirname "$WINEPREFIX")"
lock="$WINEPREFIX.lock"
exec 9>"$lock"
flock 9
if [ -f "$WINEPREFIX/.quov-ready" ]; then exit 0; fi
wineboot -i >/dev/null 2>&1 || true
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
wineserver -w
touch "$WINEPREFIX/.quov-ready"
