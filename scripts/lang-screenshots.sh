#!/usr/bin/env bash
# Screenshots of the startup question of the installer that holds every default language, in
# Japanese, Russian, Greek and Arabic, each under its own locale under Wine on a virtual display:
# build/demo/prompt-<lang>.png. The installer and the bytes each language must show come from the
# default languages' end-to-end case maker. Where this machine's kernel cannot run the 32-bit
# loader, the installer is built around the loader's 64-bit build (build/stub64, the same sources)
# and runs under wine64; those files are named prompt-<lang>-64bit.png. Expects the trees of
# scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
host=${QUOV_HOST_DIR:-$root/build/host}
win=${QUOV_WIN_DIR:-$root/build/win}
stub=$root/build/stub/quovldr.exe
out=$root/build/demo
cases=$out/languages
mkdir -p "$out"

vehicle=
if ! why=$(scripts/wine-native.sh) && [ "${QUOV_WINE_EMULATED:-0}" != 1 ]; then
  echo "lang-screenshots: the shipped 32-bit loader cannot run here ($why);"
  echo "lang-screenshots: showing the prompt of the 64-bit build of the same loader sources"
  echo "                  (build/stub64) under wine64"
  vehicle=-64bit
  win=${QUOV_WIN64_DIR:-$root/build/win64}
  stub=$root/build/stub64/quovldr.exe
  wine=(scripts/wine64-run.sh)
else
  scripts/wine-prefix.sh
  wine=(scripts/wine-run.sh)
fi

"$host/tests/e2e_lang/e2e_lang_make_case" "$stub" "$win/demo/demo_setup.exe" "$root/messages" \
  "$cases"
installer=$cases/all_languages.exe

winpath() { echo "Z:$1" | tr / '\\'; }

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
  shot=$out/prompt-$lang$vehicle.png
  rm -f "$marker" "$done" "$shot"
  run=("${wine[@]}" "$win/demo/box_driver.exe" --hold "$(winpath "$marker")"
       "$(winpath "$done")" "$(winpath "$installer")" no)
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
