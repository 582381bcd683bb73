#!/usr/bin/env bash
# The command-line tool from outside: against the virtual controller program,
# and against a port that does not exist.
set -u
sim="$1"
cli="$2"
# A third argument runs one group of checks alone (ctest runs them side by side).
only="${3:-}"
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }
work="$(mktemp -d)"
simpid=
longpid=
trap 'kill $simpid $longpid 2>/dev/null; wait $simpid $longpid 2>/dev/null; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

"$sim" --link "$work/port" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done
port="$(head -n1 "$work/sim.out")"
check "simulator names its pseudo-terminal" '[ -e "$port" ] && [ -L "$work/port" ]'

if group basic; then
"$cli" --port "$work/port" exec 'C:\mem' >"$work/mem.out" 2>"$work/mem.err"
rc=$?
check "exec C:\\mem exits 0" '[ $rc -eq 0 ]'
check "the command line is shown first" '[ "$(head -n1 "$work/mem.out")" = "C:\mem" ]'
check "the memory report is printed" '[ "$(wc -l <"$work/mem.out")" -ge 3 ]'
check "nothing on standard error" '[ ! -s "$work/mem.err" ]'

"$cli" --port "$work/port" ls >"$work/ls.out" 2>"$work/ls.err"
rc=$?
check "ls exits 0" '[ $rc -eq 0 ]'
check "ls lists the demo drive" 'grep -q "^CONF" "$work/ls.out" && grep -q "^AUTOEXEC.BAT" "$work/ls.out"'
check "ls ends with the bytes free" 'tail -n1 "$work/ls.out" | grep -q "bytes free"'

"$cli" --port "$work/port" ls '\NOSUCH' >/dev/null 2>"$work/ls2.err"
rc=$?
check "ls of a missing directory exits 1" '[ $rc -eq 1 ]'
check "ls of a missing directory says why" 'grep -q "Invalid " "$work/ls2.err"'

head -c 100000 /dev/urandom >"$work/BIG.BIN"
"$cli" --port "$work/port" put "$work/BIG.BIN" --to '\DATA' >/dev/null 2>"$work/put.err"
rc=$?
check "put of 100 KB exits 0" '[ $rc -eq 0 ]'
"$cli" --port "$work/port" ls '\DATA' >"$work/ls3.out" 2>/dev/null
check "the upload is listed with its 0x00 fill" 'grep -q "^BIG.BIN[[:space:]]*100096" "$work/ls3.out"'
fi

if group tree; then
# A folder with two levels: a name the controller would refuse stops the job
# before anything is sent, naming it; without it everything goes up.
mkdir -p "$work/TREE/SUB/DEEP"
echo one >"$work/TREE/ONE.TXT"
echo two >"$work/TREE/SUB/TWO.TXT"
head -c 3000 /dev/urandom >"$work/TREE/SUB/DEEP/THREE.BIN"
echo bad >"$work/TREE/SUB/bad name.txt"
"$cli" --port "$work/port" put --recursive "$work/TREE" >/dev/null 2>"$work/rput.err"
rc=$?
check "put --recursive refuses a name that is not 8.3" '[ $rc -eq 1 ] && grep -q "bad name.txt" "$work/rput.err"'
"$cli" --port "$work/port" ls >"$work/rls.out" 2>/dev/null
check "and sent nothing" '! grep -q "^TREE" "$work/rls.out"'
rm "$work/TREE/SUB/bad name.txt"
"$cli" --port "$work/port" put --recursive "$work/TREE" --to '\DATA' >/dev/null 2>"$work/rput.err"
rc=$?
check "put --recursive exits 0" '[ $rc -eq 0 ]'
check "with one count for the whole job" 'grep -q "file 3 of 3, 3008 of 3008 bytes" "$work/rput.err"'
"$cli" --port "$work/port" ls '\DATA\TREE\SUB\DEEP' >"$work/rls.out" 2>/dev/null
check "the tree is on the controller" 'grep -q "^THREE.BIN[[:space:]]*3072" "$work/rls.out"'
"$cli" --port "$work/port" put --recursive "$work/TREE" --to '\NOSUCH' >/dev/null 2>"$work/rput.err"
rc=$?
check "put --recursive into a missing directory exits 1" '[ $rc -eq 1 ] && grep -q "Invalid directory" "$work/rput.err"'
"$cli" --port "$work/port" put --recursive "$work/TREE" --to '\DATA' >/dev/null 2>"$work/rput.err"
rc=$?
check "put --recursive into a folder already there needs --force" '[ $rc -eq 1 ] && grep -q "TREE.*--force" "$work/rput.err"'
"$cli" --port "$work/port" put --recursive --force "$work/TREE" --to '\DATA' >/dev/null 2>&1
rc=$?
check "and goes into it with --force" '[ $rc -eq 0 ]'
fi

if group ioconf; then
"$cli" --port "$work/port" ioconf get >"$work/io.cfg" 2>"$work/io.err"
rc=$?
check "ioconf get exits 0" '[ $rc -eq 0 ]'
check "ioconf get prints the whole configuration with LF ends" \
  '[ "$(head -n1 "$work/io.cfg")" = "@VORN7730MIOCFG-START 001 -1 -1" ] && [ "$(tail -n1 "$work/io.cfg")" = "@VORN7730MIOCFG-END -1 -1 -1" ] && ! grep -q $'"'"'\r'"'"' "$work/io.cfg"'
head -n 5 "$work/io.cfg" >"$work/cut.cfg"
"$cli" --port "$work/port" ioconf set "$work/cut.cfg" >/dev/null 2>"$work/cut.err"
rc=$?
check "ioconf set refuses a file without its trailer" '[ $rc -eq 1 ] && grep -q "holds no I/O configuration" "$work/cut.err"'
# What is not a whole configuration file is refused before the port opens
# (this port does not exist), in one line, without a hang or an abort.
none=/dev/vorn-no-such-port
mkfifo "$work/fifo"
head -c 70000 /dev/zero | tr '\0' ' ' >"$work/big.cfg"
{ sed -n 1p "$work/io.cfg"; tail -n1 "$work/io.cfg"; } >"$work/bare.cfg"
grep -v '^@SLOT7' "$work/io.cfg" >"$work/seven.cfg"
sed '$i @SLOT9 99 -1 -1\n@SLOT9 -1 -1 -1' "$work/io.cfg" >"$work/nine.cfg"
sed 's/^@SLOT3 /@SLOT5 /' "$work/io.cfg" >"$work/relabelled.cfg"
{ cat "$work/io.cfg"; echo junk; } >"$work/junk.cfg"
for f in "$work" "$work/fifo" /dev/zero "$work/big.cfg" "$work/missing.cfg" "$work/bare.cfg" "$work/seven.cfg" \
  "$work/nine.cfg" "$work/relabelled.cfg" "$work/junk.cfg"; do
  timeout 10 "$cli" --port $none ioconf set "$f" >/dev/null 2>"$work/path.err"
  rc=$?
  check "ioconf set ${f#$work/} is refused" '[ $rc -eq 1 ] && [ "$(wc -l <"$work/path.err")" = 1 ] && grep -q "^ioconf set: " "$work/path.err"'
done
for f in "$work" "$work/fifo"; do
  timeout 10 "$cli" --port $none ioconf get "$f" >/dev/null 2>"$work/path.err"
  rc=$?
  check "ioconf get ${f#$work/} is refused" '[ $rc -eq 1 ] && grep -q "^ioconf get: .*not a regular file" "$work/path.err"'
done
for f in "$work" "$work/fifo" /dev/zero "$work/missing.bin"; do
  timeout 10 "$cli" --port $none put "$f" >/dev/null 2>"$work/path.err"
  rc=$?
  check "put ${f#$work/} is refused" '[ $rc -eq 1 ] && [ "$(wc -l <"$work/path.err")" = 1 ] && grep -q "^put: " "$work/path.err"'
done
"$cli" --port "$work/port" ioconf get >/dev/full 2>"$work/full.err"
rc=$?
check "a failed standard output exits 1" '[ $rc -eq 1 ] && grep -q "writing to standard output failed" "$work/full.err"'

sed '3s/^0 09 /0 12 /' "$work/io.cfg" >"$work/new.cfg"
"$cli" --port "$work/port" ioconf set "$work/new.cfg" >"$work/set.out" 2>"$work/set.err"
rc=$?
check "ioconf set exits 0" '[ $rc -eq 0 ]'
"$cli" --port "$work/port" ioconf get "$work/again.cfg" >/dev/null 2>&1
check "ioconf get FILE reads back what set applied" 'cmp -s "$work/new.cfg" "$work/again.cfg"'
fi

if group misc; then
"$cli" --port /dev/vorn-no-such-port exec 'dir' >"$work/none.out" 2>"$work/none.err"
rc=$?
check "a missing port exits 1" '[ $rc -eq 1 ]'
check "a missing port says Unable to open" 'grep -q "^Unable to open /dev/vorn-no-such-port!" "$work/none.err"'
check "and gives the real reason" 'grep -q "^Reason: /dev/vorn-no-such-port does not exist" "$work/none.err"'

# Output that never reaches a prompt may be cut short: scripts must see a failure.
"$sim" --link "$work/long" --long-line >"$work/long.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/long" ] && break; sleep 0.05; done
"$cli" --port "$work/long" exec 'C:\mem' >/dev/null 2>"$work/long.err"
rc=$?
check "exec without a prompt exits 1" '[ $rc -eq 1 ]'
check "exec without a prompt says so" 'grep -q "prompt did not come back" "$work/long.err"'

"$cli" --port "$work/port" ls $'\\\rdel AUTOEXEC.BAT' >/dev/null 2>"$work/inject.err"
rc=$?
check "a path with a carriage return is refused" '[ $rc -eq 1 ] && grep -q "control character" "$work/inject.err"'
"$cli" --port "$work/port" ls >"$work/ls4.out" 2>/dev/null
check "and nothing was deleted" 'grep -q "^AUTOEXEC.BAT" "$work/ls4.out"'

"$cli" --port "$work/port" frobnicate >/dev/null 2>&1
rc=$?
check "an unknown subcommand is a usage error" '[ $rc -eq 2 ]'

fi
exit $fail

