#!/usr/bin/env bash
# Makes the packages of the hardening end-to-end tests with quovpack, on the host:
#   good.exe        the scriptable test setup program, English texts, no startup question
#   locking.exe     a setup program that leaves a process holding its extracted file
#   not_a_program.exe  the test setup program marked as built for another machine: x64 for the
#                   32-bit loader (so in the 32-bit prefix the start fails), Itanium for the
#                   loader's x64 build
#   signed.exe      good.exe signed afterwards with a throwaway self-signed certificate; the
#                   signature is checked with osslsigncode, and quovpack must still accept it
#   signed_at_pack.exe  the same inputs packed and signed in one step (--sign-command)
# Usage: make_cases.sh QUOVPACK STUB SETUP_PROGRAM LOCKING_PROGRAM MESSAGES_DIR OUT_DIR
set -euo pipefail
quovpack=$1 stub=$2 setup=$3 locking=$4 messages=$5 out=$6
rm -rf "$out" && mkdir -p "$out"
pack() { # program output [more options]
  "$quovpack" pack --stub "$stub" --program "$1" --name "Hardening Test" \
    --lang "$messages/en.txt" --no-prompt -o "$out/$2" "${@:3}" >/dev/null
}
pack "$setup" good.exe
pack "$locking" locking.exe
# quovpack refuses what no Windows starts; it packs a program for another machine with a warning.
cp "$setup" "$out/other.tmp"
pe=$(od -An -tu4 -j60 -N4 "$setup" | tr -d ' ')
if [ "$(od -An -tx2 -j$((pe + 4)) -N2 "$setup" | tr -d ' ')" = 8664 ]; then
  machine='\x00\x02' # Itanium
else
  machine='\x64\x86' # x64
fi
printf "$machine" | dd of="$out/other.tmp" bs=1 seek=$((pe + 4)) conv=notrunc status=none
pack "$out/other.tmp" not_a_program.exe 2>/dev/null
rm -f "$out/other.tmp"

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Quov Hardening Test" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
osslsigncode sign -certs "$work/cert.pem" -key "$work/key.pem" -n "Hardening Test" \
  -in "$out/good.exe" -out "$out/signed.exe" >/dev/null
osslsigncode verify -CAfile "$work/cert.pem" -in "$out/signed.exe" >"$work/verify.txt" 2>&1 ||
  { cat "$work/verify.txt"; echo "make_cases: osslsigncode does not accept the signature" >&2; exit 1; }
"$quovpack" verify "$out/signed.exe" >/dev/null ||
  { echo "make_cases: quovpack verify refuses the signed package" >&2; exit 1; }
good=$(stat -c %s "$out/good.exe") signed=$(stat -c %s "$out/signed.exe")
"$quovpack" inspect "$out/signed.exe" >"$work/inspect.txt" || true
grep -q "certificate table *$((signed - good)) bytes" "$work/inspect.txt" &&
  grep -q "Image hash          matches" "$work/inspect.txt" ||
  { cat "$work/inspect.txt"; echo "make_cases: inspect does not show the signature's $((signed - good)) bytes" >&2; exit 1; }
echo "signed.exe: $good bytes packed, $((signed - good)) bytes of signature behind them"
pack "$setup" signed_at_pack.exe --sign-command "osslsigncode sign -certs '$work/cert.pem' \
  -key '$work/key.pem' -n 'Hardening Test' -in %1 -out %1.signed >/dev/null && mv %1.signed %1"
osslsigncode verify -CAfile "$work/cert.pem" -in "$out/signed_at_pack.exe" >"$work/verify.txt" 2>&1 ||
  { cat "$work/verify.txt"; echo "make_cases: osslsigncode does not accept signed_at_pack.exe" >&2; exit 1; }
