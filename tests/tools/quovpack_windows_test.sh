#!/usr/bin/env bash
# The Windows quovpack under wine64, held to the host's: the same inputs give the same bytes and
# the same reports, with Cyrillic and Chinese names, and the refusals leave no temporary file.
# Usage: quovpack_windows_test.sh WINDOWS_QUOVPACK_EXE HOST_QUOVPACK WINE64_RUNNER
set -u
win_tool=$(realpath "$1") host_tool=$(realpath "$2") wine=$(realpath "$3")
data=$(realpath "$(dirname "$win_tool")/../share/quovpack") # where the Windows tool finds its data
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1

cp "$data/quovfiles.exe" программа-设置.exe
mkdir -p 'дерево/папка 文件夹' папка
echo привет > дерево/файл.txt
echo 你好 > 'дерево/папка 文件夹/文件.txt'
printf 'read only' > дерево/только-чтение.txt
printf 'name = Bad\nlangid = 0x409\ncodepage = 1252\n300 = x\n' > плохой.txt
printf 'name = U\nlangid = 0x409\ncodepage = 65001\n1 = x\n' > utf8.txt
chmod 444 дерево/только-чтение.txt
common="--stub $data/quovldr.exe --lang $data/messages/en.txt --lang $data/messages/zh_CN.txt"
# Every default language, named one by one for the host's tool in the order "--lang all" takes
# them: the Windows tool's code page tables must give the host's bytes for every one.
all=""
for l in en de fr es it pt_BR pt_PT nl sv da nb fi pl cs hu ru uk tr el he ar ja ko zh_CN zh_TW; do
    all+=" --lang $data/messages/$l.txt"
done
"$host_tool" pack --stub "$data/quovldr.exe" $all --program программа-设置.exe --name 'Every language' \
    -o host-all.exe >/dev/null 2>&1
# A signed installer, signed by the host's tool with a certificate made for the test.
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 \
    -subj '/CN=Quov Test Signer' -keyout key.pem -out cert.pem >/dev/null 2>&1
"$host_tool" pack $common --program программа-设置.exe --name Signed -o signed.exe >/dev/null \
    --sign-command 'osslsigncode sign -certs cert.pem -key key.pem -in %1 -out %1.s >/dev/null && mv %1.s %1'

failures=0
fail() { echo "FAIL: $row_name: $*"; failures=$((failures + 1)); }
run_win() { "$wine" "$win_tool" "$@" >win.out 2>win.err; echo $? >win.rc; }
run_host() { "$host_tool" "$@" >host.out 2>host.err; echo $? >host.rc; }

# Each row: what it checks; the Windows tool's exit code; how it is checked; the arguments,
# where @ stands for host- or win- in the name of the output each tool writes.
#   same-file F   both tools run; the files they write (@ in F) are the same bytes
#   same-output   both tools run; the same exit code and standard output
#   same-error    both tools run; the same exit code and standard error
#   says TEXT     the Windows tool alone; its standard error holds TEXT
#   prints TEXT   the Windows tool alone; its standard output holds TEXT
#   equals F G    the Windows tool alone; it wrote F, the same bytes as G
while IFS=';' read -r row_name want check args; do
    row_name=$(echo $row_name)
    [ -z "$row_name" ] || [ "${row_name:0:1}" = "#" ] && continue
    eval "checks=($check)" "words=($args)"
    how=${checks[0]} what=${checks[1]:-} extra=${checks[2]:-}
    host_args=("${words[@]//@/host-}") win_args=("${words[@]//@/win-}")
    run_win "${win_args[@]}"
    if [ "$(cat win.rc)" != "$want" ]; then
        fail "exit code $(cat win.rc), not $want: $(cat win.err)"
    fi
    case $how in
    same-file)
        run_host "${host_args[@]}"
        cmp -s "${what//@/host-}" "${what//@/win-}" || fail "${what//@/host-} and ${what//@/win-} differ" ;;
    same-output)
        run_host "${host_args[@]}"
        cmp -s host.out win.out || fail "outputs differ: $(diff host.out win.out | head -5)"
        [ "$(cat host.rc)" = "$(cat win.rc)" ] || fail "exit codes $(cat host.rc) and $(cat win.rc)" ;;
    same-error)
        run_host "${host_args[@]}"
        cmp -s host.err win.err || fail "errors differ: $(diff host.err win.err | head -5)"
        [ "$(cat host.rc)" = "$(cat win.rc)" ] || fail "exit codes $(cat host.rc) and $(cat win.rc)" ;;
    says)
        grep -Eq "$what" win.err || fail "stderr lacks '$what': $(cat win.err)" ;;
    prints)
        grep -Eq "$what" win.out || fail "stdout lacks '$what': $(cat win.out)" ;;
    equals)
        cmp -s "$what" "$extra" || fail "$what is not $extra" ;;
    esac
    leftovers=$(find . -name '*.tmp-*')
    [ -z "$leftovers" ] || fail "temporary files left: $leftovers"
done <<EOF
pack one program             ;0;same-file @setup.exe   ;pack $common --program программа-设置.exe --name 'Приложение 应用' -o @setup.exe
the data beside the tool     ;0;equals win-default.exe host-setup.exe;pack --program программа-设置.exe --name 'Приложение 应用' -o win-default.exe
every default language       ;0;equals win-all.exe host-all.exe;pack --lang all --program программа-设置.exe --name 'Every language' -o win-all.exe
pack a tree                  ;0;same-file @tree.exe    ;pack $common --program программа-设置.exe --files дерево --name Tree -o @tree.exe
verify                       ;0;same-output            ;verify host-setup.exe
verify --json                ;0;same-output            ;verify --json host-tree.exe
inspect                      ;0;same-output            ;inspect host-tree.exe
inspect --json               ;0;same-output            ;inspect --json host-setup.exe
extract                      ;0;same-file @извлечено.exe;extract host-setup.exe -o @извлечено.exe
a Windows-style path         ;0;equals папка/извлечено.exe программа-设置.exe;extract .\\\\host-setup.exe -o папка\\\\извлечено.exe
an output that is an input   ;2;says 'is the setup program программа-设置.exe';pack $common --program программа-设置.exe --name X -o .\\\\программа-设置.exe
the same, unchanged          ;0;equals программа-设置.exe $data/quovfiles.exe;--version
a signature, not checked     ;0;prints 'OK: .* signed, NOT CHECKED: this build';verify signed.exe
the same in JSON             ;0;prints '"matches": null, .*"checked": false';verify --json signed.exe
a name outside the code page ;3;same-error;pack --stub $data/quovldr.exe --lang $data/messages/de.txt --program программа-设置.exe --name 'Вася' -o x.exe
warnings under --werror      ;3;same-error;pack --stub $data/quovldr.exe --lang $data/messages/ru.txt --lang $data/messages/zh_CN.txt --program программа-设置.exe --name 'Дерево' --werror -o x.exe
a message file refused       ;3;same-error;pack $common --lang плохой.txt --program программа-设置.exe --name X -o x.exe
a code page only one knows   ;3;same-error;pack $common --lang utf8.txt --program программа-设置.exe --name X -o x.exe
the output is the input      ;2;same-error;extract host-setup.exe -o host-setup.exe
a bad command line           ;2;same-error;pack --program
a device as output           ;0;says 'wrote NUL: [0-9]+ bytes, 2 language';pack $common --program программа-设置.exe --name 'Приложение 应用' -o NUL
a missing input              ;3;says 'installer нет.exe: (File not found|The system cannot find the file specified)';verify нет.exe
a folder as input            ;3;says 'setup program дерево: it is a folder';pack $common --program дерево --name X -o x.exe
a signing command that fails ;4;says 'the signing command failed with exit code 3';pack $common --program программа-设置.exe --name X -o x.exe --sign-command 'exit 3'
a %1 under cmd               ;4;says 'left the installer unsigned';pack $common --program программа-设置.exe --name X -o 'подпись x.exe' --sign-command 'if not exist %1 exit 5'
EOF
row_name="refused rows"
[ ! -e x.exe ] && [ ! -e 'подпись x.exe' ] || fail "a refused output was written"

# Ctrl-C while the installer still has its temporary name (the signing command runs): the
# temporary file goes, and the tool ends as Ctrl-C ends a program (0xC000013A, 58 as a byte).
row_name="Ctrl-C"
"$wine" "$win_tool" pack $common --program программа-设置.exe --name X -o interrupted.exe \
    --sign-command 'type nul > signing & ping -n 6 127.0.0.1 > nul' >/dev/null 2>&1 &
for _ in $(seq 1 300); do [ -e signing ] && break; sleep 0.1; done
[ -n "$(find . -name 'interrupted.exe.tmp-*')" ] || fail "no temporary file while signing"
kill -INT "$(pgrep -n -f 'quovpack.exe pack .*interrupted.exe')"
wait $!
status=$?
[ "$status" = 58 ] || fail "exit status $status"
[ -z "$(find . -name 'interrupted.exe*')" ] || fail "left: $(find . -name 'interrupted.exe*')"

[ "$failures" = 0 ] && echo "all rows passed"
[ "$failures" = 0 ]
