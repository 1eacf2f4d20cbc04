#!/usr/bin/env bash
# Screenshots of the startup question of the installer that holds every default language, in
# Japanese, Russian, Greek and Arabic, each under its own locale under Wine on a virtual display:
# build/demo/prompt-<lang>.png. The installer and the bytes each language must show come from the
# default languages' end-to-end case maker. Where this machine's kernel cannot run the 32-bit
# loader, a 64-bit stand-in (scripts/prompt-standin.c) shows those same caption and text bytes in
# the same kind of box, so that each code page's rendering can still be looked at; those files
# are named prompt-<lang>-standin.png. Expects the trees of scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
host=${QUOV_HOST_DIR:-$root/build/host}
win=${QUOV_WIN_DIR:-$root/build/win}
out=$root/build/demo
cases=$out/languages
mkdir -p "$out"

"$host/tests/e2e_lang/e2e_lang_make_case" "$root/build/stub/quovldr.exe" \
  "$win/demo/demo_setup.exe" "$root/messages" "$cases"
installer=$cases/all_languages.exe

winpath() { echo "Z:$1" | tr / '\\'; }

standin=
if ! why=$(scripts/wine-native.sh) && [ "${QUOV_WINE_EMULATED:-0}" != 1 ]; then
  echo "lang-screenshots: the loader cannot run here ($why); using the 64-bit stand-in"
  standin=$out/prompt-standin.exe
  x86_64-w64-mingw32-gcc -O2 -o "$standin" scripts/prompt-standin.c
  export WINEARCH=win64 WINEPREFIX=${QUOV_WINEPREFIX64:-$root/build/wineprefix64}
  wine=(/usr/lib/wine/wine64)
else
  scripts/wine-prefix.sh
  wine=(scripts/wine-run.sh)
fi

# Wine maps the dialog font to a Windows font by locale ("MS UI Gothic" for Japanese) that a
# fresh prefix does not have, and shows empty boxes for the characters; point it at a Debian
# font that holds the script (fonts-vlgothic for Japanese, DejaVu Sans for the others).
dialog_font() { # locale, font family
  LC_ALL=$1.UTF-8 WINEDEBUG=-all "${wine[@]}" reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes' \
    /v 'MS Shell Dlg' /d "$2" /f >/dev/null 2>&1
}

for row in "ja_JP:ja:VL Gothic" "ru_RU:ru:DejaVu Sans" "el_GR:el:DejaVu Sans" "ar_SA:ar:DejaVu Sans"; do
  IFS=: read -r locale lang font <<<"$row"
  dialog_font "$locale" "$font"
  marker=$out/prompt-shown done=$out/screenshot-taken
  shot=$out/prompt-$lang${standin:+-standin}.png
  rm -f "$marker" "$done" "$shot"
  if [ -n "$standin" ]; then
    run=(/usr/lib/wine/wine64 "$standin" "$(winpath "$cases/caption_$lang.txt")"
         "$(winpath "$cases/prompt_$lang.txt")" "$(winpath "$marker")" "$(winpath "$done")")
  else
    run=(scripts/wine-run.sh "$win/demo/box_driver.exe" --hold "$(winpath "$marker")"
         "$(winpath "$done")" "$(winpath "$installer")" no)
  fi
  LC_ALL=$locale.UTF-8 WINEDEBUG=-all xvfb-run -a -s "-screen 0 800x600x24" bash -c '
    "${@:4}" &
    runner=$!
    for _ in $(seq 1 600); do [ -f "$1" ] && break; sleep 0.1; done
    sleep 1
    import -window root "$2" || echo "no screenshot taken"
    touch "$3"
    wait $runner || true' _ "$marker" "$shot" "$done" "${run[@]}"
  [ -f "$shot" ] && echo "$locale: $shot"
done
