#!/usr/bin/env bash
# Launch benchmarks under Wine, for setup programs of 1, 10 and 40 MB. Prints the median of RUNS
# runs per cell, after one warm-up round. A benchmark: it prints figures and asserts nothing; not
# part of the test command.
#
# First table: from starting an installer to the first instruction of the setup program it
# carries. Ours (the stub packed by quovpack, run with /SP-) is measured beside an installer
# built by the peer tool (Debian's makensis: a silent installer that extracts the same program to
# $PLUGINSDIR and runs it, solid LZMA) and beside the Wine start-up of the bare program, which
# both include.
#
# Second table: from the Yes click on the startup question to the setup program's first
# instruction. A clicker starts the installer without /SP-, answers Yes one second after the
# question appears and logs the time of the click; the probe logs its own start on the same
# clock. Beside ours stands the floor: a minimal program that asks the same question, then
# creates a folder, a hidden window and the setup program's process (already on disk).
#
# Where this machine cannot run Wine's 32-bit half, everything runs on the 64-bit vehicle: the
# loader's x86-64 build under wine64, with 64-bit probe, floor and clicker; the output says so.
# The peer tool makes 32-bit installers only, so its column is then not measured.
#
# Usage: scripts/bench-launch.sh [RUNS]   (default 7)
# Environment: QUOV_STUB (default build/stub/quovldr.exe, or build/stub64/quovldr.exe on the
# vehicle), QUOV_PACK (default build/host/quovpack), QUOV_LAUNCH_DIR (work directory, default
# build/bench-launch; it holds its own Wine prefixes so that a persistent server does not touch
# the tests' prefix).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-7}

# The shipped 32-bit loader runs under Wine's 32-bit half; without it, its x86-64 build stands in.
vehicle=0
if ! why=$("$root/scripts/wine-native.sh") && [ "${QUOV_WINE_EMULATED:-0}" != 1 ]; then
  vehicle=1
fi
if [ "$vehicle" = 1 ]; then
  default_stub=$root/build/stub64/quovldr.exe
  cc=x86_64-w64-mingw32-gcc
  probe_entry=ProbeEntry
  dlls=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows
  wine=(/usr/lib/wine/wine64)
else
  default_stub=$root/build/stub/quovldr.exe
  cc=i686-w64-mingw32-gcc
  probe_entry=_ProbeEntry@0 # stdcall names carry their argument bytes on x86
  dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
  wine=(wine)
fi
# Absolute paths: Wine refuses a relative prefix.
stub=$(realpath -m "${QUOV_STUB:-$default_stub}")
pack=$(realpath -m "${QUOV_PACK:-$root/build/host/quovpack}")
work=$(realpath -m "${QUOV_LAUNCH_DIR:-$root/build/bench-launch}")

# The loader creates a (hidden) window and asks its question: it needs a display.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a "$(realpath "$0")" "$@"
fi

for need in "$stub" "$pack"; do
  [ -f "$need" ] || { echo "bench-launch: $need not found (scripts/build.sh builds it)" >&2; exit 1; }
done
if [ "$vehicle" = 0 ]; then
  command -v makensis >/dev/null || { echo "bench-launch: makensis missing (scripts/bootstrap.sh)" >&2; exit 1; }
fi
mkdir -p "$work"
# Each vehicle has a prefix of its own. Both tell the X11 driver not to let a window manager
# manage the question's box: otherwise Wine waits 2 s for one whenever such a window closes.
if [ "$vehicle" = 1 ]; then
  export QUOV_WINEPREFIX64=$work/wineprefix64
  "$root/scripts/wine64-run.sh" reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f \
    >/dev/null 2>&1
  export WINEPREFIX=$QUOV_WINEPREFIX64 WINEARCH=win64
else
  export QUOV_WINEPREFIX=$work/wineprefix
  "$root/scripts/wine-prefix.sh"
  export WINEPREFIX=$QUOV_WINEPREFIX WINEARCH=win32
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml="
# One server for the whole run (it ends by itself 60 s after the last program), so that no
# measurement pays for starting it.
wineserver -p60 >/dev/null 2>&1 || true # already running is as good

# The probe: a few KB of code, padded to each size with Wine's own DLLs appended behind the
# image (real, already compressed-as-much-as-code-is bytes; the program never reads them).
"$cc" -O2 -Wall -nostdlib -e "$probe_entry" -mwindows \
  "$root/bench/launch_probe_win32.c" -lkernel32 -lgcc -o "$work/probe.exe"
"$cc" -O2 -Wall -mwindows "$root/bench/launch_floor_win32.c" -o "$work/floor.exe"
"$cc" -O2 -Wall "$root/bench/launch_clicker_win32.c" -o "$work/clicker.exe"
sizes=(1 10 40)
for mb in "${sizes[@]}"; do
  program=$work/probe-$mb.exe
  bytes=$((mb * 1000 * 1000))
  # Made anew each time: the probe's code differs between the vehicles.
  # head stops reading at the size: the writers' broken pipe is expected.
  ( set +o pipefail
    { cat "$work/probe.exe"; find "$dlls" -maxdepth 1 -name '*.dll' -size +64k | sort |
        xargs cat; } 2>/dev/null | head -c "$bytes" > "$program" )
  # Its warnings (a 64-bit stub and program on the vehicle) show only if packing fails.
  if ! packed=$("$pack" pack --stub "$stub" --program "$program" --name "Launch bench" \
      --lang "$root/messages/en.txt" -o "$work/ours-$mb.exe" 2>&1); then
    echo "$packed" >&2
    exit 1
  fi
  [ "$vehicle" = 0 ] || continue
  cat > "$work/peer-$mb.nsi" <<EOF
Unicode false
SetCompressor /SOLID lzma
SilentInstall silent
RequestExecutionLevel user
OutFile "peer-$mb.exe"
Section
  InitPluginsDir
  SetOutPath "\$PLUGINSDIR"
  File "/oname=probe.exe" "probe-$mb.exe"
  ExecWait '"\$PLUGINSDIR\\probe.exe"'
SectionEnd
EOF
  (cd "$work" && makensis -V1 "peer-$mb.nsi" >/dev/null)
done

winpath() { echo "Z:$1" | tr / '\\'; }
# The question as the English messages word it, for the clicker to find and the floor to ask.
caption=$(sed -n 's/^SetupCaption = //p' "$root/messages/en.txt")
question=$(sed -n 's/^StartupPrompt = //p' "$root/messages/en.txt")
question=${question//%1/Launch bench}
[ -n "$caption" ] && [ -n "$question" ] ||
  { echo "bench-launch: the startup question is missing from messages/en.txt" >&2; exit 1; }
launch_log=$work/launch.log
click_log=$work/click.log
QUOV_LAUNCH_LOG=$(winpath "$launch_log")
export QUOV_LAUNCH_LOG
# Milliseconds from the start of "wine PROGRAM ARGS" to the probe's first instruction. The probe
# logs Windows file time (100-ns units since 1601), which Wine takes from the host clock.
measure() {
  rm -f "$launch_log"
  local start end
  start=$(date +%s%N)
  "${wine[@]}" "$@" >/dev/null 2>&1 || true
  end=$(tail -n 1 "$launch_log" 2>/dev/null || echo)
  if [ -z "$end" ]; then echo nan; return; fi
  echo "$end $start" | awk '{ printf "%.1f\n", (($1 - 116444736000000000) * 100 - $2) / 1e6 }'
}
# Milliseconds from the clicker's Yes to the probe's first instruction, both in Windows file
# time. Arguments: the installer and its arguments, as Windows paths.
measure_yes() {
  rm -f "$launch_log" "$click_log"
  "${wine[@]}" "$work/clicker.exe" "$caption" "$(winpath "$click_log")" "$@" >/dev/null 2>&1 ||
    true
  local click end
  click=$(tail -n 1 "$click_log" 2>/dev/null || echo)
  end=$(tail -n 1 "$launch_log" 2>/dev/null || echo)
  if [ -z "$click" ] || [ -z "$end" ]; then echo nan; return; fi
  echo "$end $click" | awk '{ printf "%.1f\n", ($1 - $2) / 1e4 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
yes_ours() { measure_yes "$(winpath "$work/ours-$1.exe")"; }
yes_floor() {
  measure_yes "$(winpath "$work/floor.exe")" "$(winpath "$work/probe-$1.exe")" "$caption" \
    "$question"
}

# One round warms the caches (page cache, Wine's DLLs) before anything counts.
for mb in "${sizes[@]}"; do
  measure "$work/ours-$mb.exe" /SP- >/dev/null
  [ "$vehicle" = 1 ] || measure "$work/peer-$mb.exe" >/dev/null
  yes_ours "$mb" >/dev/null
  yes_floor "$mb" >/dev/null
done
measure "$work/probe.exe" >/dev/null

declare -A times
for ((run = 0; run < runs; run++)); do
  times[bare]+="$(measure "$work/probe.exe") "
  for mb in "${sizes[@]}"; do
    times[ours-$mb]+="$(measure "$work/ours-$mb.exe" /SP-) "
    [ "$vehicle" = 1 ] || times[peer-$mb]+="$(measure "$work/peer-$mb.exe") "
    times[yes-ours-$mb]+="$(yes_ours "$mb") "
    times[yes-floor-$mb]+="$(yes_floor "$mb") "
  done
done
med() { tr ' ' '\n' <<<"${times[$1]}" | grep -v '^$' | median; }

if [ "$vehicle" = 1 ]; then
  echo "FIGURES FROM THE 64-BIT VEHICLE: the loader's x86-64 build ($stub) under wine64,"
  echo "not the shipped 32-bit loader, which cannot run here: $why."
  echo
fi
bare=$(med bare)
echo "launch to the setup program's first instruction under Wine (median of $runs runs, ms)"
echo "Wine start-up of the bare program (included in every figure): $bare ms"
printf "%-8s %8s %12s %7s %10s %12s %10s %10s\n" program ours peer ratio ours-wine peer-wine \
  "installer" "installer"
printf "%-8s %8s %12s %7s %10s %12s %10s %10s\n" "" "" "" "" "" "" "ours" "peer"
for mb in "${sizes[@]}"; do
  ours=$(med "ours-$mb")
  os=$(stat -c %s "$work/ours-$mb.exe")
  if [ "$vehicle" = 1 ]; then
    # The peer tool makes 32-bit installers only.
    awk -v mb="$mb" -v o="$ours" -v b="$bare" -v os="$os" 'BEGIN {
      printf "%-8s %8.1f %12s %7s %10.1f %12s %10.2f %10s\n", mb " MB", o, "n/a (32-bit)",
        "n/a", o - b, "n/a (32-bit)", os / 1e6, "n/a" }'
    continue
  fi
  peer=$(med "peer-$mb")
  awk -v mb="$mb" -v o="$ours" -v p="$peer" -v b="$bare" -v os="$os" \
    -v ps="$(stat -c %s "$work/peer-$mb.exe")" 'BEGIN {
      printf "%-8s %8.1f %12.1f %7.2f %10.1f %12.1f %10.2f %10.2f\n", mb " MB", o, p, o / p,
        o - b, p - b, os / 1e6, ps / 1e6 }'
done
echo "(ratio: ours / peer; ours-wine, peer-wine: with the bare start-up subtracted; installer"
echo " sizes in MB; all run with /SP-, so no question is asked)"
echo
echo "Yes on the startup question to the setup program's first instruction (median of $runs"
echo "runs, ms; Yes is clicked 1 s after the question appears)"
printf "%-8s %8s %8s %11s\n" program ours floor ours-floor
for mb in "${sizes[@]}"; do
  awk -v mb="$mb" -v o="$(med "yes-ours-$mb")" -v f="$(med "yes-floor-$mb")" 'BEGIN {
    printf "%-8s %8.1f %8.1f %11.1f\n", mb " MB", o, f, o - f }'
done
echo "(floor: a minimal program that asks the same question, then creates a folder under"
echo " %TEMP%, a hidden window and the process of the same program, which is already on disk)"
grep -m1 'model name' /proc/cpuinfo | sed 's/.*: /machine: /'
echo "cores: $(nproc)"
