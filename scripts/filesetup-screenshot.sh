#!/usr/bin/env bash
# A screenshot of the reference setup program's window, for the README: a small folder packed
# with `quovpack pack --files myapp/ --name "My App"`, the setup program (the 64-bit build, which
# runs here under wine64) started as the loader starts it, on a virtual display. Writes
# docs/images/quovfiles-window.png (or the file named as the first argument). Expects the trees
# of scripts/build.sh.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
out=$(realpath -m "${1:-$root/docs/images/quovfiles-window.png}")
pack=$root/build/host/quovpack
program=$root/build/win64/filesetup/quovfiles.exe
work=$root/build/screenshot
rm -rf "$work" && mkdir -p "$work/myapp/bin" "$(dirname "$out")"
printf 'My App\n' > "$work/myapp/readme.txt"
head -c 200000 /dev/urandom > "$work/myapp/bin/data.bin"
"$pack" pack --files "$work/myapp" --name "My App" --stub "$root/build/stub/quovldr.exe" \
  --program "$program" --lang "$root/messages/en.txt" -o "$work/MyApp-setup.exe" >/dev/null \
  2>"$work/pack-warnings.txt" # the 64-bit program's warning: it is expected here
field() { "$pack" inspect --json "$work/MyApp-setup.exe" | sed -n "s/.*\"$1\": \([0-9]*\).*/\1/p" | head -1; }
line="/SL5=\$1234,$(field setup_data_offset),$(field second_data_offset),Z:$work/MyApp-setup.exe"

# The window's title is the setup's caption; the shot (the window's client area: no window
# manager draws a frame on the virtual display) is taken once it is shown, then the program
# (and only this prefix's Wine) is stopped.
export QUOV_WINEPREFIX64=${QUOV_WINEPREFIX64:-$root/build/wineprefix64}
xvfb-run -a -s "-screen 0 800x600x24" bash -c '
  "$1" "$2" "$3" >/dev/null 2>&1 &
  runner=$!
  for _ in $(seq 1 300); do
    xwininfo -root -tree 2>/dev/null | grep -q "\"My App Setup\"" && break
    sleep 0.2
  done
  sleep 1
  id=$(xwininfo -root -tree | sed -n "s/^ *\(0x[0-9a-f]*\) \"My App Setup\".*/\1/p" | head -1)
  if [ -n "$id" ]; then import -window "$id" -frame "$4"; else import -window root "$4"; fi
  WINEPREFIX=$QUOV_WINEPREFIX64 /usr/lib/wine/wineserver -k || true
  wait $runner || true' _ "$root/scripts/wine64-run.sh" "$program" "$line" "$out"
[ -f "$out" ] && echo "$out"
