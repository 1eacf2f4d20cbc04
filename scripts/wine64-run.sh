#!/usr/bin/env bash
# Runs a 64-bit Windows program under wine64 in the project's 64-bit prefix (build/wineprefix64
# unless QUOV_WINEPREFIX64 names another; made on first use), without Mono/Gecko prompts or
# debug chatter. 64-bit programs run natively wherever the kernel runs x86-64 programs.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${QUOV_WINEPREFIX64:-$here/../build/wineprefix64}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
export WINEARCH=win64
wine64=/usr/lib/wine/wine64
if [ ! -f "$WINEPREFIX/.quov-ready" ]; then
  mkdir -p "$(dirname "$WINEPREFIX")"
  (
    flock 9
    if [ ! -f "$WINEPREFIX/.quov-ready" ]; then
      "$wine64" wineboot -i >/dev/null 2>&1 || true
      /usr/lib/wine/wineserver -w
      touch "$WINEPREFIX/.quov-ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine64" "$@"
