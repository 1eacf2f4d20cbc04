#!/usr/bin/env bash
# The demo: builds everything, packs the demo setup program with the English and Chinese
# messages, and runs the installer under Wine on a virtual display, once in an English and once
# in a Chinese locale. A driver answers the startup prompt with Yes and the demo's own box with
# OK, and prints every box with its text, the exit code and whether the temporary directory was
# cleaned. A screenshot of the English startup prompt is saved under build/demo/. Where this
# machine cannot run 32-bit programs, the installer is built around the loader's 64-bit build
# (build/stub64, the same sources) and runs under wine64; the demo says so.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
host=${QUOV_HOST_DIR:-$root/build/host}
win=${QUOV_WIN_DIR:-$root/build/win}
wine_run=scripts/wine-run.sh
out=$root/build/demo

if [ -z "${QUOV_DEMO_NO_BUILD:-}" ]; then
  scripts/bootstrap.sh
  scripts/build.sh
fi
if ! why=$(scripts/wine-native.sh) && [ "${QUOV_WINE_EMULATED:-0}" != 1 ]; then
  echo "demo: the shipped 32-bit loader cannot run here ($why)."
  echo "demo: running the 64-bit build of the same loader sources (build/stub64) under wine64"
  echo "      instead; what it shows is the loader's behaviour, not the 32-bit file's own bytes."
  win=${QUOV_WIN64_DIR:-$root/build/win64}
  wine_run=scripts/wine64-run.sh
else
  scripts/wine-prefix.sh
fi
mkdir -p "$out"

installer=$out/QuovDemoSetup.exe
"$host/quovpack" pack --stub "$win/quovldr.exe" --program "$win/demo/demo_setup.exe" \
  --name "Quov Demo App" --lang messages/en.txt --lang messages/zh_CN.txt -o "$installer"
echo "packed $installer ($(stat -c %s "$installer") bytes)"

winpath() { echo "Z:$1" | tr / '\\'; }

run_demo() { # locale, screenshot file or ""
  local locale=$1 shot=$2 marker=$out/prompt-shown done=$out/screenshot-taken
  rm -f "$marker" "$done"
  echo
  echo "== running the installer with LC_ALL=$locale"
  if [ -z "$shot" ]; then
    LC_ALL=$locale xvfb-run -a -s "-screen 0 1024x768x24" \
      "$wine_run" "$win/demo/box_driver.exe" "$(winpath "$installer")" yes ok
    return
  fi
  LC_ALL=$locale xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1/$9" "$2/demo/box_driver.exe" --hold "$3" "$4" "$5" yes ok &
    driver=$!
    for _ in $(seq 1 200); do [ -f "$6" ] && break; sleep 0.1; done
    sleep 0.5
    import -window root "$7" || echo "no screenshot taken"
    touch "$8"
    wait $driver' _ "$root" "$win" "$(winpath "$marker")" "$(winpath "$done")" \
    "$(winpath "$installer")" "$marker" "$shot" "$done" "$wine_run"
  [ -f "$shot" ] && echo "screenshot of the startup prompt: $shot"
}

run_demo en_US.UTF-8 "$out/startup-prompt.png"
run_demo zh_CN.UTF-8 ""
