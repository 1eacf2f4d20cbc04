#!/usr/bin/env bash
# Launch-to-child time under Wine: from starting an installer to the first instruction of the
# setup program it carries, for programs of 1, 10 and 40 MB. Ours (the stub packed by quovpack,
# run with /SP-) is measured beside an installer built by the peer tool (Debian's makensis: a
# silent installer that extracts the same program to $PLUGINSDIR and runs it, solid LZMA) and
# beside the Wine start-up of the bare program, which both include. Prints the median of RUNS
# runs per cell. A benchmark: it prints figures and asserts nothing; not part of the test command.
#
# Usage: scripts/bench-launch.sh [RUNS]   (default 7)
# Environment: QUOV_STUB (default build/stub/quovldr.exe), QUOV_PACK (default
# build/host/quovpack), QUOV_LAUNCH_DIR (work directory, default build/bench-launch; it holds
# its own Wine prefix so that a persistent server does not touch the tests' prefix).
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
runs=${1:-7}
# Absolute paths: Wine refuses a relative prefix.
stub=$(realpath -m "${QUOV_STUB:-$root/build/stub/quovldr.exe}")
pack=$(realpath -m "${QUOV_PACK:-$root/build/host/quovpack}")
work=$(realpath -m "${QUOV_LAUNCH_DIR:-$root/build/bench-launch}")
dlls=/usr/lib/i386-linux-gnu/wine/i386-windows

# The loader creates a (hidden) window: it needs a display.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a "$(realpath "$0")" "$@"
fi

for need in "$stub" "$pack"; do
  [ -f "$need" ] || { echo "bench-launch: $need not found (scripts/build.sh builds it)" >&2; exit 1; }
done
command -v makensis >/dev/null || { echo "bench-launch: makensis missing (scripts/bootstrap.sh)" >&2; exit 1; }
mkdir -p "$work"
export QUOV_WINEPREFIX=$work/wineprefix
"$root/scripts/wine-prefix.sh"
export WINEPREFIX=$QUOV_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree=;mshtml=" WINEARCH=win32
# One server for the whole run (it ends by itself 60 s after the last program), so that no
# measurement pays for starting it.
wineserver -p60 >/dev/null 2>&1 || true # already running is as good

# The probe: a few KB of code, padded to each size with Wine's own DLLs appended behind the
# image (real, already compressed-as-much-as-code-is bytes; the program never reads them).
i686-w64-mingw32-gcc -O2 -Wall -nostdlib -e _ProbeEntry@0 -mwindows \
  "$root/bench/launch_probe_win32.c" -lkernel32 -lgcc -o "$work/probe.exe"
sizes=(1 10 40)
for mb in "${sizes[@]}"; do
  program=$work/probe-$mb.exe
  bytes=$((mb * 1000 * 1000))
  if [ ! -f "$program" ] || [ "$(stat -c %s "$program")" != "$bytes" ]; then
    # head stops reading at the size: the writers' broken pipe is expected.
    ( set +o pipefail
      { cat "$work/probe.exe"; find "$dlls" -maxdepth 1 -name '*.dll' -size +64k | sort |
          xargs cat; } 2>/dev/null | head -c "$bytes" > "$program" )
  fi
  "$pack" pack --stub "$stub" --program "$program" --name "Launch bench" \
    --lang "$root/messages/en.txt" -o "$work/ours-$mb.exe" >/dev/null
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

export QUOV_LAUNCH_LOG=$work/launch.log
# Milliseconds from the start of "wine PROGRAM ARGS" to the probe's first instruction. The probe
# logs Windows file time (100-ns units since 1601), which Wine takes from the host clock.
measure() {
  rm -f "$QUOV_LAUNCH_LOG"
  local start end
  start=$(date +%s%N)
  wine "$@" >/dev/null 2>&1 || true
  end=$(tail -n 1 "$QUOV_LAUNCH_LOG" 2>/dev/null || echo)
  if [ -z "$end" ]; then echo nan; return; fi
  echo "$end $start" | awk '{ printf "%.1f\n", (($1 - 116444736000000000) * 100 - $2) / 1e6 }'
}
median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# One round warms the caches (page cache, Wine's DLLs) before anything counts.
for mb in "${sizes[@]}"; do
  measure "$work/ours-$mb.exe" /SP- >/dev/null
  measure "$work/peer-$mb.exe" >/dev/null
done
measure "$work/probe.exe" >/dev/null

declare -A times
for ((run = 0; run < runs; run++)); do
  times[bare]+="$(measure "$work/probe.exe") "
  for mb in "${sizes[@]}"; do
    times[ours-$mb]+="$(measure "$work/ours-$mb.exe" /SP-) "
    times[peer-$mb]+="$(measure "$work/peer-$mb.exe") "
  done
done
med() { tr ' ' '\n' <<<"${times[$1]}" | grep -v '^$' | median; }

bare=$(med bare)
echo "launch to the setup program's first instruction under Wine (median of $runs runs, ms)"
echo "Wine start-up of the bare program (included in every figure): $bare ms"
printf "%-8s %8s %8s %7s %10s %10s %10s %10s\n" program ours peer ratio ours-wine peer-wine \
  "installer" "installer"
printf "%-8s %8s %8s %7s %10s %10s %10s %10s\n" "" "" "" "" "" "" "ours" "peer"
for mb in "${sizes[@]}"; do
  ours=$(med "ours-$mb")
  peer=$(med "peer-$mb")
  awk -v mb="$mb" -v o="$ours" -v p="$peer" -v b="$bare" \
    -v os="$(stat -c %s "$work/ours-$mb.exe")" -v ps="$(stat -c %s "$work/peer-$mb.exe")" 'BEGIN {
      printf "%-8s %8.1f %8.1f %7.2f %10.1f %10.1f %10.2f %10.2f\n", mb " MB", o, p, o / p,
        o - b, p - b, os / 1e6, ps / 1e6 }'
done
echo "(ratio: ours / peer; ours-wine, peer-wine: with the bare start-up subtracted; installer"
echo " sizes in MB)"
grep -m1 'model name' /proc/cpuinfo | sed 's/.*: /machine: /'
echo "cores: $(nproc)"
