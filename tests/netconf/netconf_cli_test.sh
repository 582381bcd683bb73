#!/usr/bin/env bash
# "net" and "init" from outside, against the virtual controller program. A
# third argument, init or net, runs that group alone (side by side in ctest).
set -u
sim="$1"
cli="$2"
only="${3:-}"
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }
work="$(mktemp -d)"
trap 'kill "$simpid" 2>/dev/null; wait "$simpid" 2>/dev/null; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
# The settings files go to this program's data folder; keep the test's own.
export XDG_DATA_HOME="$work/data" VORN7730_SETTINGS="$work/settings.ini"

"$sim" --link "$work/port" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done
run() { "$cli" --port "$work/port" "$@"; }

if group init; then
run init --httpd >/dev/null 2>"$work/noyes.err"
rc=$?
# The same exit code as restore without --yes: the arguments were right.
check "init without --yes refuses" '[ $rc -eq 1 ] && grep -q -- "--yes" "$work/noyes.err"'
run ls >"$work/ls0.out" 2>/dev/null
check "and leaves the drive alone" 'grep -q "^AUTOEXEC.BAT" "$work/ls0.out"'

run init --httpftpd --yes >/dev/null 2>"$work/init.err"
rc=$?
check "init exits 0" '[ $rc -eq 0 ]'
check "init says so" '[ "$(cat "$work/init.err")" = "System initial Successfully!" ]'
run ls >"$work/ls.out" 2>/dev/null
check "the old files are gone" '! grep -q "^AUTOEXEC.BAT" "$work/ls.out"'
for f in CONF WEBROOT AUTORUN.BAT AX8796.COM CFGIO.EXE SOCKETP.EXE; do
  check "init leaves $f" 'grep -q "^$f[[:space:]]" "$work/ls.out"'
done
run ls '\CONF' >"$work/conf.out" 2>/dev/null
check "the default settings files" 'grep -q "^SOCKET.CFG" "$work/conf.out" && grep -q "^SOCKET.UPW" "$work/conf.out"'
run ls '\WebRoot' >"$work/web.out" 2>/dev/null
check "the chosen server only" '[ "$(grep -c "\.EXE" "$work/web.out")" = 1 ] && grep -q "^HTTPFTPD.EXE" "$work/web.out"'
fi

if group standins; then
# A controller that does not name itself as the virtual one: the shipped
# stand-ins are refused before the format, and real files from --defaults go.
"$sim" --link "$work/real" --drive "$work/real.drive" --as-real-controller >/dev/null 2>&1 &
realpid=$!
for _ in $(seq 100); do [ -e "$work/real" ] && break; sleep 0.05; done
cp "$work/real.drive" "$work/before.img"
"$cli" --port "$work/real" init --httpd --yes >"$work/si.out" 2>"$work/si.err"
rc=$?
check "init refuses the stand-ins (exit 1)" '[ $rc -eq 1 ] && grep -q "^System initialisation was not started" "$work/si.err"'
check "naming them and --defaults" 'grep -q "SOCKETP.EXE" "$work/si.err" && grep -q "httpd.exe" "$work/si.err" && grep -q -- "--defaults DIR" "$work/si.err"'
check "with nothing typed but the query" '! grep -q "DLFMT\|transfer" "$work/si.out" && cmp -s "$work/before.img" "$work/real.drive"'
cp -r "$(dirname "$0")/../../data/VORN-7730TCP-7730ETCP Utility/Source" "$work/source"
for f in "$work"/source/Drive_D/Default_files/*.[CE][OX][ME] "$work"/source/Drive_D/Extension_files/WebRoot/*; do
  echo "the real $(basename "$f")" >"$f"
done
"$cli" --port "$work/real" init --defaults "$work/source" --yes >"$work/sd.out" 2>"$work/sd.err"
rc=$?
"$cli" --port "$work/real" ls >"$work/sd.ls" 2>/dev/null
check "init --defaults DIR sends real files" '[ $rc -eq 0 ] && grep -q "^SOCKETP.EXE" "$work/sd.ls" && ! grep -q "^AUTOEXEC.BAT" "$work/sd.ls"'
kill "$realpid"
fi

if group net; then

run net address --ip 010.001.+5.1 --gateway 10.1.5.254 --dns 10.1.5.53 >/dev/null 2>"$work/addr.err"
rc=$?
check "net address exits 0" '[ $rc -eq 0 ] && [ "$(cat "$work/addr.err")" = "Update Successfully!" ]'
run exec 'type D:\CONF\SOCKET.CFG' 2>/dev/null | tr -d '\000' | grep -v '^[[:space:]]*$' >"$work/type.out"
printf '%s\n' 'type D:\CONF\SOCKET.CFG' '# Packet driver settings' 'ip address 010.001.+5.1' \
  'interface pdr if0 dix 1500 10 0x60' 'route add default if0 10.1.5.254' 'domain server 10.1.5.53' \
  '# The following will cause SOCKETS to display IP status' 'ip address' \
  '# The following lines set TCP parameters' 'ip ttl 64' 'tcp mss 1460' 'tcp window 2920' >"$work/expected"
check "type shows exactly the written lines" 'diff "$work/expected" "$work/type.out"'
check "the host copy has CR LF line ends" '[ "$(tr -cd "\r" <"$work/data/vorn7730/SOCKET.CFG" | wc -c)" = 13 ]'

run net address --dhcp --gateway 10.1.5.254 >/dev/null 2>"$work/dhcp1.err"
rc1=$?
run net address --dhcp --dns 10.1.5.53 >/dev/null 2>"$work/dhcp2.err"
rc2=$?
check "--dhcp with --gateway or --dns is a usage error" '[ $rc1 -eq 2 ] && [ $rc2 -eq 2 ]'

# A companion key without its Path value names no installation.
printf '%s\n' '[Software\\Microsoft\\Windows\\CurrentVersion\\App Paths\\Vorn7730.exe]' >"$work/settings.ini"
run net address --ip 10.1.5.9 >/dev/null 2>&1
rc=$?
check "an empty companion Path writes to the data folder" \
  '[ $rc -eq 0 ] && grep -q "^ip address 10.1.5.9" "$work/data/vorn7730/SOCKET.CFG"'
rm "$work/settings.ini"

run net address --ip 10.0.0.0.1 >/dev/null 2>"$work/bad.err"
rc=$?
check "a bad address exits 1 with the dialog's message" '[ $rc -eq 1 ] && [ "$(cat "$work/bad.err")" = "IP Address Illegal!" ]'

printf 'ftp-secret\nweb-secret\n' | run net users --ftp admin - --ftp-rights rd --http guest - --http-rights e \
  >/dev/null 2>"$work/users.err"
rc=$?
check "net users reads the passwords from standard input" '[ $rc -eq 0 ]'
check "SOCKET.UPW is the owner's alone" '[ "$(stat -c %a "$work/data/vorn7730/SOCKET.UPW")" = 600 ]'
check "the user lines" '[ "$(cat "$work/data/vorn7730/SOCKET.UPW")" = "$(printf "admin ftp-secret WebRoot dr\r\n\r\nguest web-secret / e")" ]'

printf 'file-pw\n' >"$work/ftp.pw"
printf 'web-pw\r\nnot this one\n' >"$work/http.pw"
run net users --ftp admin --ftp-password-file "$work/ftp.pw" --http guest --http-password-file "$work/http.pw" \
  >/dev/null 2>&1
rc=$?
check "net users takes each password from the first line of a file" \
  '[ $rc -eq 0 ] && grep -q "^admin file-pw " "$work/data/vorn7730/SOCKET.UPW" && grep -q "^guest web-pw " "$work/data/vorn7730/SOCKET.UPW"'
mkfifo "$work/fifo"
for f in "$work" "$work/fifo"; do
  timeout 10 "$cli" --port /dev/vorn-no-such-port net users --ftp a --ftp-password-file "$f" --http b pw \
    >/dev/null 2>"$work/pwfile.err"
  rc=$?
  check "a password file ${f#$work/} that is no regular file is refused" \
    '[ $rc -eq 1 ] && grep -q "not a regular file" "$work/pwfile.err"'
done

# On a terminal a password "-" is asked for and not shown as it is typed.
python3 - "$cli" "$work/port" >"$work/tty.out" 2>&1 <<'PY'
import os, pty, select, sys, time
cli, port = sys.argv[1], sys.argv[2]
pid, fd = pty.fork()
if pid == 0:
    os.execv(cli, [cli, "--port", port, "net", "users", "--ftp", "admin", "-", "--http", "guest", "web"])
seen = b""
def read_until(done, seconds):
    global seen
    end = time.time() + seconds
    while not done() and time.time() < end:
        if select.select([fd], [], [], 0.1)[0]:
            try:
                data = os.read(fd, 4096)
            except OSError:
                return
            if not data:
                return
            seen += data
read_until(lambda: b"FTP password for admin: " in seen, 10)
os.write(fd, b"tty-pw\n")
read_until(lambda: False, 60)
_, status = os.waitpid(pid, 0)
sys.stdout.write(seen.decode(errors="replace"))
sys.exit(os.WEXITSTATUS(status))
PY
rc=$?
check "a password - on a terminal is asked for and not shown" \
  '[ $rc -eq 0 ] && grep -q "FTP password for admin: " "$work/tty.out" && ! grep -q "tty-pw" "$work/tty.out"'
check "and is written" 'grep -q "^admin tty-pw " "$work/data/vorn7730/SOCKET.UPW"'

run net users --ftp admin 'pass word' --http guest pw >/dev/null 2>"$work/blank.err"
rc=$?
check "a blank in a password is refused" '[ $rc -eq 1 ] && grep -q "can not contain" "$work/blank.err"'
run net users --ftp admin 'éééééé' --http guest pw >/dev/null 2>"$work/accents.err"
rc=$?
check "letters beyond ASCII get the same refusal" '[ $rc -eq 1 ] && grep -q "can not contain" "$work/accents.err"'

# A settings file that is a FIFO would wait for a reader for good.
rm -f "$work/data/vorn7730/SOCKET.CFG"
mkfifo "$work/data/vorn7730/SOCKET.CFG"
timeout 10 "$cli" --port /dev/vorn-no-such-port net address --ip 10.1.5.9 >/dev/null 2>"$work/fifocfg.err"
rc=$?
check "a settings file that is a FIFO is refused" '[ $rc -eq 1 ] && grep -q "not a regular file" "$work/fifocfg.err"'
fi

exit $fail
