#!/usr/bin/env bash
# Runs a command with a failing temporary base for the loader: a tmpfs mounted at MOUNT_POINT,
# which the command's tests use as TMP (QUOV_TMPFS names the mode).
#   full        256 KiB, too small for the setup program
#   readonly    mounted read-only
#   quarantine  a scanner (inotifywait) deletes every file the moment it is closed after
#               writing, as an antivirus that quarantines a new program would
# Mounting needs root: where it is refused the run is skipped (exit 77) with the reason. The
# tmpfs is unmounted however the command ends; one left by a killed run is unmounted first.
# Usage: with_tmpfs.sh MODE MOUNT_POINT COMMAND...
set -uo pipefail
mode=$1 mnt=$2
shift 2
case $mode in
full) options=size=256k ;;
readonly) options=ro,size=64k ;;
quarantine) options=size=8m ;;
*) echo "with_tmpfs: unknown mode $mode" >&2; exit 2 ;;
esac

mkdir -p "$mnt"
while mountpoint -q "$mnt"; do umount "$mnt" || exit 1; done
if ! message=$(mount -t tmpfs -o "$options,mode=1777" quovtmp "$mnt" 2>&1); then
  echo "with_tmpfs: skipped: cannot mount a tmpfs at $mnt: ${message:-refused}"
  exit 77
fi

watcher= remover= work=
cleanup() {
  [ -n "$watcher" ] && kill "$watcher" 2>/dev/null && wait "$watcher" 2>/dev/null
  [ -n "$remover" ] && wait "$remover" 2>/dev/null
  [ -n "$work" ] && rm -rf "$work"
  umount "$mnt" || umount -l "$mnt"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$mode" = quarantine ]; then
  work=$(mktemp -d)
  mkfifo "$work/closed"
  inotifywait -m -r -e close_write --format '%w%f' "$mnt" >"$work/closed" 2>"$work/watch.log" &
  watcher=$!
  while IFS= read -r file; do rm -f -- "$file"; done <"$work/closed" &
  remover=$!
  for _ in $(seq 100); do
    grep -q 'Watches established' "$work/watch.log" && break
    sleep 0.1
  done
  grep -q 'Watches established' "$work/watch.log" ||
    { cat "$work/watch.log" >&2; echo "with_tmpfs: the scanner did not start" >&2; exit 1; }
fi

QUOV_TMPFS=$mode "$@"
