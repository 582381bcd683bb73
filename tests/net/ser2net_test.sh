#!/usr/bin/env bash
# The command line through a real serial device server: Debian's ser2net
# serves virtual controllers on 127.0.0.1, raw (socket://) and as RFC 2217
# (rfc2217://); a proxy adds 20 ms each way for the slow-link checks. A fourth
# argument runs one group of checks alone (ctest runs them side by side).
set -u
sim="$1"
cli="$2"
python="$3"
only="${4:-}"
here="$(cd "$(dirname "$0")" && pwd)"
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }
work="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

if ! command -v ser2net >/dev/null; then
  echo "ser2net is not installed (bash tools/setup.sh test installs it)"
  exit 1
fi

free_port() { "$python" -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
# Waits until something listens on the TCP port (without connecting, which
# would make the server open the line).
wait_listen() {
  local hex
  hex="$(printf '%04X' "$1")"
  for _ in $(seq 100); do
    grep -q ":$hex 00000000:0000 0A" /proc/net/tcp && return 0
    sleep 0.05
  done
  return 1
}

# start_sim NAME [OPTIONS]: a virtual controller on $work/NAME keeping its
# drive in $work/NAME.drive.
start_sim() {
  local link="$work/$1"
  shift
  "$sim" --link "$link" --drive "$link.drive" "$@" >"$link.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$link" ] && [ -s "$link.drive" ] && break; sleep 0.05; done
}

# serve NAME KIND: ser2net serves $work/NAME on a free port, KIND raw or
# rfc2217; the port name to use is left in $url and the server's pid in
# $server_NAME. Without the character delay, which holds every answer of
# the block protocols for two character times.
serve() {
  local tcp accepter
  tcp="$(free_port)"
  if [ "$2" = rfc2217 ]; then accepter="telnet(rfc2217),tcp,127.0.0.1,$tcp"; else accepter="tcp,127.0.0.1,$tcp"; fi
  cat >"$work/$1.yaml" <<YAML
connection: &$1
  accepter: $accepter
  connector: serialdev,$work/$1,57600n81,local
  options:
    chardelay: false
YAML
  ser2net -n -d -c "$work/$1.yaml" >"$work/$1.ser2net.out" 2>&1 &
  pids+=($!)
  eval "server_$1=$!"
  wait_listen "$tcp" || echo "ser2net did not start: $(cat "$work/$1.ser2net.out")"
  if [ "$2" = rfc2217 ]; then url="rfc2217://127.0.0.1:$tcp"; else url="socket://127.0.0.1:$tcp"; fi
}

# delay NAME: a proxy adding 20 ms each way in front of $url; $url then names it.
delay() {
  "$python" "$here/delay_proxy.py" 127.0.0.1 "${url##*:}" 20 >"$work/$1.proxy" &
  pids+=($!)
  for _ in $(seq 100); do [ -s "$work/$1.proxy" ] && break; sleep 0.05; done
  url="socket://127.0.0.1:$(cat "$work/$1.proxy")"
}

head -c 30000 /dev/urandom >"$work/DATA30K.BIN"
# 0xFF bytes must cross a Telnet link escaped, both ways.
head -c 4000 /dev/zero | tr '\0' '\377' >>"$work/DATA30K.BIN"

# Two images of one drive are the same but for the time the backup wrote
# into its program's directory entry when it uploaded it.
same_drive() {
  "$python" - "$1" "$2" <<'PY'
import sys
a, b = (bytearray(open(p, "rb").read()) for p in sys.argv[1:3])
for image in (a, b):
    at = image.find(b"KAPRINRDEXE")
    while at >= 0:
        if at % 32 == 0:
            image[at + 14:at + 18] = image[at + 22:at + 26] = bytes(4)
        at = image.find(b"KAPRINRDEXE", at + 1)
sys.exit(a != b or len(a) != 1048576)
PY
}

# listing, upload, backup and restore through one kind of server.
round_trip() {
  local kind="$1" name="c_$1" url
  start_sim "$name"
  serve "$name" "$kind"
  "$cli" --port "$url" ls >"$work/$kind.ls" 2>"$work/$kind.ls.err"
  rc=$?
  check "$kind: ls exits 0 and lists the drive" '[ $rc -eq 0 ] && grep -q "^AUTOEXEC.BAT" "$work/$kind.ls" && tail -n1 "$work/$kind.ls" | grep -q "bytes free"'
  "$cli" --port "$url" put "$work/DATA30K.BIN" >/dev/null 2>"$work/$kind.put.err"
  rc=$?
  check "$kind: put of 34 KB with 0xFF bytes exits 0" '[ $rc -eq 0 ]'
  "$cli" --port "$url" backup "$work/$kind.img" >/dev/null 2>"$work/$kind.backup.err"
  rc=$?
  check "$kind: backup exits 0" '[ $rc -eq 0 ] && grep -q "^Read image Successfully!" "$work/$kind.backup.err"'
  check "$kind: the backup is the controller's drive byte for byte" 'cmp -s "$work/$kind.img" "$work/$name.drive"'
  # The same backup taken directly, with the server stopped.
  local server
  eval "server=\$server_$name"
  kill "$server"
  wait "$server" 2>/dev/null
  "$cli" --port "$work/$name" backup "$work/$kind.direct.img" >/dev/null 2>&1
  check "$kind: it equals one taken directly" 'same_drive "$work/$kind.img" "$work/$kind.direct.img"'
  "$cli" --port "$work/$name" rm 'D:\DATA30K.BIN' >/dev/null 2>&1
  serve "$name" "$kind"
  "$cli" --port "$url" restore "$work/$kind.img" --yes >/dev/null 2>"$work/$kind.restore.err"
  rc=$?
  check "$kind: restore exits 0" '[ $rc -eq 0 ] && grep -q "^Write image Successfully!" "$work/$kind.restore.err"'
  "$cli" --port "$url" ls >"$work/$kind.ls2" 2>/dev/null
  check "$kind: the restored drive lists the upload again" 'grep -q "^DATA30K.BIN[[:space:]]*34048" "$work/$kind.ls2" && cmp -s "$work/$kind.img" "$work/$name.drive"'
}

if group raw; then round_trip raw; fi
if group rfc2217; then round_trip rfc2217; fi

if group refused; then
start_sim busy
serve busy raw
tcp="${url##*:}"
# A second user while the first holds the server's port is told so.
"$python" -c 'import socket,sys,time; s=socket.create_connection(("127.0.0.1",int(sys.argv[1]))); time.sleep(0.3); print("held", flush=True); time.sleep(30)' "$tcp" >"$work/held" &
holder=$!
pids+=($holder)
for _ in $(seq 200); do [ -s "$work/held" ] && break; sleep 0.05; done
"$cli" --port "$url" ls >/dev/null 2>"$work/busy.err"
rc=$?
check "a port the server gives to another user fails" '[ $rc -eq 1 ] && grep -q "^Reason: the device server at 127.0.0.1 port $tcp refused the port: Port already in use" "$work/busy.err"'
kill "$holder"
closed="$(free_port)"
"$cli" --port "socket://127.0.0.1:$closed" ls >/dev/null 2>"$work/closed.err"
rc=$?
check "a refused connection names host, port and the system's words" '[ $rc -eq 1 ] && grep -q "^Reason: cannot connect to 127.0.0.1 port $closed: Connection refused\.$" "$work/closed.err"'
"$cli" --port "rfc2217://127.0.0.1" ls >/dev/null 2>"$work/bad.err"
rc=$?
check "a port name without a port number is refused" '[ $rc -eq 1 ] && grep -q "write socket://HOST:PORT" "$work/bad.err"'
# The server going away during a backup ends it at once with the reason.
start_sim drop
serve drop raw
mkdir "$work/dropped"
"$cli" --port "$url" backup "$work/dropped/drop.img" >/dev/null 2>"$work/drop.err" &
backup=$!
# Once the blocks flow (the backup's file is there).
for _ in $(seq 400); do [ -n "$(find "$work/dropped" -name "~vorn*")" ] && break; sleep 0.05; done
sleep 1
kill "$server_drop"
wait "$backup"
rc=$?
check "a dropped connection fails the backup with its reason" '[ $rc -eq 1 ] && grep -q "closed the connection" "$work/drop.err" && [ -z "$(ls -A "$work/dropped")" ]'
[ $rc -eq 1 ] && grep -q "closed the connection" "$work/drop.err" || { echo "rc=$rc"; cat "$work/drop.err"; }
fi

if group delay; then
# 20 ms each way: exchanges, the upload and both image protocols still work.
start_sim slow
serve slow raw
delay slow
"$cli" --port "$url" ls >"$work/slow.ls" 2>/dev/null
rc=$?
check "delayed: ls exits 0" '[ $rc -eq 0 ] && grep -q "^AUTOEXEC.BAT" "$work/slow.ls"'
"$cli" --port "$url" put "$work/DATA30K.BIN" --to '\DATA' >/dev/null 2>"$work/slow.put.err"
rc=$?
"$cli" --port "$url" ls '\DATA' >"$work/slow.ls2" 2>/dev/null
check "delayed: put exits 0 and the file is listed" '[ $rc -eq 0 ] && grep -q "^DATA30K.BIN[[:space:]]*34048" "$work/slow.ls2"'
check "delayed: the uploaded bytes are on the drive" '"$python" -c "import sys; sys.exit(open(sys.argv[2],\"rb\").read().find(open(sys.argv[1],\"rb\").read()) < 0)" "$work/DATA30K.BIN" "$work/slow.drive"'
# A whole image takes a round trip a block, many minutes at this delay: the
# controller's programs stop after the first blocks instead.
start_sim part --image-bytes 16384
serve part raw
delay part
"$cli" --port "$url" restore "$work/slow.drive" --yes >/dev/null 2>"$work/part.err"
check "delayed: the restore's 256 blocks all arrive" 'grep -q "Error: stopped after 256 blocks as asked" "$work/part.err"'
start_sim part2 --image-bytes 4096
serve part2 raw
delay part2
started=$SECONDS
"$cli" --port "$url" backup "$work/part.img" >/dev/null 2>"$work/part2.err"
took=$((SECONDS - started))
# Each of the 512 blocks needs a round trip of 40 ms, and the end of the
# controller's program is seen after the 10 s without progress: less time
# means the blocks stopped short.
check "delayed: the backup keeps step with the blocks (${took} s)" '[ $took -ge 30 ] && ! grep -q "Check sum" "$work/part2.err"'
fi

exit $fail
