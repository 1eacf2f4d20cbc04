#!/usr/bin/env bash
# Every benchmark in one run, each figure with its peer beside it: the stub's size (beside the
# peer's LZMA stub), extraction, CRC-32 and packing (beside liblzma, xz and zlib), the installer
# size (beside the peer tool's installer of the same program), and the launch
# time under Wine (beside a peer installer). Builds what is missing first. Prints figures and
# asserts nothing.
set -euo pipefail
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
if [ ! -f build/stub/quovldr.exe ] || [ ! -x build/host/quovpack ]; then
  scripts/bootstrap.sh
  scripts/build.sh
fi
# Figures move with other work on the machine: its load is printed before and after.
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"
echo
echo "== stub size"
scripts/stub-size.sh build/stub/quovldr.exe
echo
echo "== extraction, CRC-32 and packing"
scripts/bench.sh
echo
echo "== installer size beside the peer tool"
scripts/bench-size.sh
echo
echo "== launch to the setup program's first instruction, under Wine"
scripts/bench-launch.sh "${QUOV_LAUNCH_RUNS:-7}"
echo
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
