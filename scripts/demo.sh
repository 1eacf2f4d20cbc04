#!/usr/bin/env bash
# The demo: builds everything, packs the demo setup program with the English and Chinese
# messages, and runs the installer under Wine on a virtual display, once in an English and once
# in a Chinese locale. A driver answers the startup prompt with Yes and the demo's own box with
# OK, and prints every box with its text, the exit code and whether the temporary directory was
# cleaned. A screenshot of the English startup prompt is saved under build/demo/.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
host=${QUOV_HOST_DIR:-$root/build/host}
win=${QUOV_WIN_DIR:-$root/build/win}
out=$root/build/demo

if [ -z "${QUOV_DEMO_NO_BUILD:-}" ]; then
  scripts/bootstrap.sh
  scripts/build.sh
fi
if ! why=$(scripts/wine-native.sh) && [ "${QUOV_WINE_EMULATED:-0}" != 1 ]; then
  echo "demo: cannot run the installer here: $why." >&2
  exit 1
fi
scripts/wine-prefix.sh
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
      scripts/wine-run.sh "$win/demo/box_driver.exe" "$(winpath "$installer")" yes ok
    return
  fi
  LC_ALL=$locale xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
    "$1/scripts/wine-run.sh" "$2/demo/box_driver.exe" --hold "$3" "$4" "$5" yes ok &
    driver=$!
    for _ in $(seq 1 200); do [ -f "$6" ] && break; sleep 0.1; done
    sleep 0.5
    import -window root "$7" || echo "no screenshot taken"
    touch "$8"
    wait $driver' _ "$root" "$win" "$(winpath "$marker")" "$(winpath "$done")" \
    "$(winpath "$installer")" "$marker" "$shot" "$done"
  [ -f "$shot" ] && echo "screenshot of the startup prompt: $shot"
}

run_demo en_US.UTF-8 "$out/startup-prompt.png"
run_demo zh_CN.UTF-8 ""
