#!/usr/bin/env bash
# Runs a Windows program under Wine in the project's own prefix (build/wineprefix unless
# QUOV_WINEPREFIX names another), without Mono/Gecko prompts or debug chatter.
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${QUOV_WINEPREFIX:-$here/../build/wineprefix}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree=;mshtml="}
export WINEARCH=win32
[ -d "$WINEPREFIX" ] || "$here/wine-prefix.sh" >/dev/null
exec wine "$@"
