#!/usr/bin/env bash
# The reference setup program under wine64, started with the /SL5= command line the loader
# would give it, on installers packed by the host's quovpack: a whole tree installs byte for
# byte; a damaged payload, a cancel half way, a file in use at the target and a full disk leave
# the target as it was (exit codes 1 and 2, with their messages); the program packed with --run
# ends the setup with its exit code. Where the stub is the loader's x86-64 build, the
# installers also run through it, as a user starts them.
# Arguments: quovpack stub setup-program exit-with-program hold-open-program wine-runner
# work-folder
set -euo pipefail
quovpack=$1 stub=$2 program=$3 exit_with=$4 hold_open=$5 wine=$6 work=$7
tiny=$work/tiny
if mountpoint -q "$tiny" 2>/dev/null; then umount "$tiny"; fi
rm -rf "$work" && mkdir -p "$work"
src=$work/src
mkdir -p "$src/bin/data/nested" "$src/empty folder" "$src/данные/文档"
printf 'top\n' > "$src/readme.txt"
: > "$src/bin/data/empty.dat"
printf 'Привет\n' > "$src/данные/файл.txt"
printf '你好\n' > "$src/данные/文档/说明.txt"
# 20 MiB of 256 KiB random pieces repeated: many chunks and pieces, yet quick to compress.
head -c 262144 /dev/urandom > "$work/piece"
for i in $(seq 80); do cat "$work/piece"; done > "$src/bin/data/nested/twenty.bin"
cp "$exit_with" "$src/bin/exit_with.exe"
mkdir -p "$work/runsrc" && cp "$exit_with" "$work/runsrc/exit_with.exe"

pack() { # output, extra options...
  local out=$1; shift
  "$quovpack" pack --stub "$stub" --program "$program" --name "Test App" --no-prompt \
    --lang "$messages/en.txt" -o "$out" "$@" 2>/dev/null >/dev/null
}
messages=$(cd "$(dirname "$0")/../../messages" && pwd)
pack "$work/setup.exe" --files "$src"
pack "$work/run.exe" --files "$work/runsrc" --run 'exit_with.exe 7'

offset() { # installer, field
  "$quovpack" inspect --json "$1" | sed -n "s/.*\"$2\": \([0-9]*\).*/\1/p" | head -1
}
# Runs the setup program on an installer as the loader would; prints nothing, returns its code.
setup() { # installer, options...
  local installer=$1; shift
  local data second
  data=$(offset "$installer" setup_data_offset)
  second=$(offset "$installer" second_data_offset)
  set +e
  "$wine" "$program" "/SL5=\$1234,$data,$second,Z:$installer" "$@" >/dev/null 2>&1
  local code=$?
  set -e
  return $code
}
expect_code() { # expected, what, command...
  local expected=$1 what=$2; shift 2
  local code=0
  "$@" || code=$?
  if [ "$code" != "$expected" ]; then
    echo "FAIL: $what: exit code $code, expected $expected"; exit 1
  fi
}
snapshot() { (cd "$1" && find . -printf '%p %s %y\n' | LC_ALL=C sort && find . -type f -exec md5sum {} + | LC_ALL=C sort); }

# A whole tree, into a folder that does not exist yet.
expect_code 0 "install" setup "$work/setup.exe" /VERYSILENT "/DIR=Z:$work/target/Test App"
diff -r "$src" "$work/target/Test App" || { echo "FAIL: installed tree differs"; exit 1; }
echo "ok: installed tree equals the source"

# A target with files of its own, one of them to be replaced.
mkdir -p "$work/kept/bin"
printf 'old\n' > "$work/kept/readme.txt"
printf 'mine\n' > "$work/kept/bin/mine.txt"
before=$(snapshot "$work/kept")

# One flipped byte in the last chunk of the files' block: every file is written, then the
# CRC check fails and all of it goes again.
cp "$work/setup.exe" "$work/damaged.exe"
at=$(( $(offset "$work/setup.exe" setup_program_offset) - 100 ))
printf '\x5a' | dd of="$work/damaged.exe" bs=1 seek="$at" conv=notrunc status=none
expect_code 1 "damaged payload" setup "$work/damaged.exe" /VERYSILENT "/DIR=Z:$work/kept"
[ "$(snapshot "$work/kept")" = "$before" ] || { echo "FAIL: damaged payload changed the target"; exit 1; }
expect_code 1 "damaged payload, new folder" setup "$work/damaged.exe" /VERYSILENT "/DIR=Z:$work/new/deeper"
[ ! -e "$work/new" ] || { echo "FAIL: damaged payload left $work/new behind"; exit 1; }
echo "ok: a damaged payload leaves the target as it was"

# A cancel half way through the 20 MB file (the test build's hook).
export QUOV_FILESETUP_CANCEL_AT=10000000
expect_code 2 "cancel" setup "$work/setup.exe" /VERYSILENT "/DIR=Z:$work/kept"
unset QUOV_FILESETUP_CANCEL_AT
[ "$(snapshot "$work/kept")" = "$before" ] || { echo "FAIL: cancel changed the target"; exit 1; }
echo "ok: a cancel leaves the target as it was"

# The messages of a run, also of a very silent one (the test build's hook).
export QUOV_FILESETUP_MESSAGE_LOG="Z:$work/messages.txt"
expect_message() { # what, texts...
  local text
  for text in "${@:2}"; do
    grep -qF "$text" "$work/messages.txt" 2>/dev/null ||
      { echo "FAIL: $1: no message with \"$text\" in: $(cat "$work/messages.txt" 2>/dev/null)"; exit 1; }
  done
  echo "  message: $(tr '\n' ' ' < "$work/messages.txt")"
  rm -f "$work/messages.txt"
}

# A file in use at the target (held open without sharing by another program): not put off to a
# restart, but reported with the system's reason, and everything put back.
"$wine" "$hold_open" "Z:$work/kept/readme.txt" "Z:$work/held" "Z:$work/release" >/dev/null 2>&1 &
holder=$!
for _ in $(seq 300); do [ -e "$work/held" ] && break; sleep 0.1; done
[ -e "$work/held" ] || { echo "FAIL: the file was not held open"; exit 1; }
expect_code 1 "file in use" setup "$work/setup.exe" /VERYSILENT "/DIR=Z:$work/kept"
touch "$work/release"
wait "$holder"
[ "$(snapshot "$work/kept")" = "$before" ] || { echo "FAIL: a file in use changed the target"; exit 1; }
expect_message "file in use" 'Could not write the file' 'kept\readme.txt"'
echo "ok: a file in use leaves the target as it was, with the reason"

# A full disk: a 1 MiB tmpfs as the target's folder. The 20 MB tree is refused before anything
# is written; 400 one-byte files pass that check but fill the pages as they are written.
mkdir -p "$tiny" "$work/many"
if mount -t tmpfs -o size=1m quov-full-disk "$tiny" 2>"$work/mount.txt"; then
  trap 'umount "$tiny" 2>/dev/null || true' EXIT
  for i in $(seq 400); do printf x > "$work/many/f$i.txt"; done
  pack "$work/many.exe" --files "$work/many"
  expect_code 1 "full disk, checked" setup "$work/setup.exe" /VERYSILENT "/DIR=Z:$tiny/app"
  expect_message "full disk, checked" "There is not enough free space"
  expect_code 1 "full disk, writing" setup "$work/many.exe" /VERYSILENT "/DIR=Z:$tiny/app"
  expect_message "full disk, writing" "There is not enough free space"
  [ -z "$(ls -A "$tiny")" ] || { echo "FAIL: a full disk left files behind: $(ls -A "$tiny" | head)"; exit 1; }
  echo "ok: a full disk leaves nothing behind, with the disk-full message"
else
  echo "skipped: a full disk: a tmpfs cannot be mounted here ($(tr -d '\n' < "$work/mount.txt"))"
fi

# --run: the program's exit code is the setup's.
expect_code 7 "run" setup "$work/run.exe" /VERYSILENT "/DIR=Z:$work/run target"
[ -f "$work/run target/exit_with.exe" ] || { echo "FAIL: --run installed nothing"; exit 1; }
echo "ok: --run passes the exit code on"

# Through the loader: it unpacks the setup program, passes its parameters on unchanged and ends
# with its exit code. wine64 runs only the loader's x86-64 build.
pe_machine() { # file: the PE header's machine field in hexadecimal
  local at
  at=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
  od -An -tx2 -j$((at + 4)) -N2 "$1" | tr -d ' '
}
installer() { # installer, options...: returns the installer's exit code
  local code=0
  "$wine" "$@" >/dev/null 2>&1 || code=$?
  return $code
}
if [ "$(pe_machine "$stub")" = 8664 ]; then
  rm -f "$work/messages.txt"
  expect_code 0 "install through the loader" installer "$work/setup.exe" /VERYSILENT \
    "/DIR=Z:$work/via loader"
  diff -r "$src" "$work/via loader" || { echo "FAIL: installed through the loader, the tree differs"; exit 1; }
  expect_code 7 "--run through the loader" installer "$work/run.exe" /VERYSILENT \
    "/DIR=Z:$work/via loader, run"
  expect_code 1 "damaged payload through the loader" installer "$work/damaged.exe" /VERYSILENT \
    "/DIR=Z:$work/kept"
  [ "$(snapshot "$work/kept")" = "$before" ] || { echo "FAIL: damaged payload changed the target"; exit 1; }
  expect_message "damaged payload through the loader" "The installer is damaged"
  echo "ok: through the loader: installed, --run's exit code and a damaged payload's come through"
else
  echo "skipped: through the loader: the stub is not the loader's x86-64 build, which wine64 runs"
fi
