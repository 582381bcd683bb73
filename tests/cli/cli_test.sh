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

sed '3s/^0 09 /0 77 /' "$work/io.cfg" >"$work/r77.cfg"
"$cli" --port "$work/port" ioconf set "$work/r77.cfg" >/dev/null 2>"$work/r77.err"
rc=$?
check "ioconf set refuses a range code the module does not take" '[ $rc -eq 1 ] && grep -q "range code 77" "$work/r77.err"'
"$cli" --port "$work/port" ioconf get "$work/nodir/io.cfg" >/dev/null 2>"$work/nodir.err"
rc=$?
check "ioconf get into a missing folder says so" '[ $rc -eq 1 ] && grep -q "folder .* does not exist" "$work/nodir.err"'

sed '3s/^0 09 /0 12 /' "$work/io.cfg" >"$work/new.cfg"
"$cli" --port "$work/port" ioconf set "$work/new.cfg" >"$work/set.out" 2>"$work/set.err"
rc=$?
check "ioconf set exits 0" '[ $rc -eq 0 ]'
"$cli" --port "$work/port" ioconf get "$work/again.cfg" >/dev/null 2>&1
check "ioconf get FILE reads back what set applied" 'cmp -s "$work/new.cfg" "$work/again.cfg"'
fi

if group names; then
# Started with standard error or output closed, the port must not take its
# number: the progress would be typed into the shell (and run the batch file).
printf 'md INJECTED\r\n' >"$work/MAKEDIR.BAT"
"$cli" --port "$work/port" put "$work/MAKEDIR.BAT" >/dev/null 2>&1
"$cli" --port "$work/port" put --force "$work/MAKEDIR.BAT" >/dev/null 2>&-
rc=$?
"$cli" --port "$work/port" put --force "$work/MAKEDIR.BAT" >&- 2>/dev/null
rc2=$?
"$cli" --port "$work/port" ls >"$work/inj.out" 2>/dev/null
check "with a closed descriptor put still works" '[ $rc -eq 0 ] && [ $rc2 -eq 0 ]'
check "and types nothing of its own into the shell" '! grep -q "^INJECTED" "$work/inj.out"'
# The same for the virtual controller: its first line would reach its own shell.
"$sim" --link "$work/closed" >&- 2>/dev/null &
longpid=$!
for _ in $(seq 100); do [ -e "$work/closed" ] && break; sleep 0.05; done
sleep 0.5
timeout 2 cat "$work/closed" >"$work/closed.out" 2>/dev/null
check "the virtual controller with standard output closed types nothing into its shell" '[ ! -s "$work/closed.out" ]'
kill $longpid; wait $longpid 2>/dev/null

# Names as the controller stores them, and refusals before anything is sent:
# each case, its exit code and what the refusal says.
mkdir -p "$work/a" "$work/b" "$work/n"
echo old >"$work/n/NOEXT"
"$cli" --port "$work/port" put "$work/n/NOEXT" >/dev/null 2>&1
echo new >"$work/n/NOEXT."
echo 1 >"$work/a/REPORT.TXT"
echo 2 >"$work/b/report.txt"
echo x >"$work/LONGNAME123.TXT"
echo x >"$work/CONF"
head -c 1100000 /dev/zero >"$work/HUGE.BIN"
while IFS='|' read -r name want text args; do
  eval "set -- $args"
  (cd "$work" && "$cli" --port "$work/port" put "$@" >/dev/null 2>"$work/names.err")
  rc=$?
  check "put $name exits $want and says why" '[ $rc -eq $want ] && grep -q -- "$text" "$work/names.err"'
done <<'CASES'
over a name stored without its dot|1|'NOEXT' already exists in D:\\: --force|n/NOEXT.
of two files of one target name|1|would both be D:\\DATA\\REPORT.TXT|a/REPORT.TXT b/report.txt --to 'D:\DATA'
of a name that is not 8.3|1|'LONGNAME123.TXT' is not a name the controller takes|LONGNAME123.TXT
of a file the drive cannot hold|1|needs 1100032 bytes, but D:\\ has|HUGE.BIN
of a file named as a directory there|1|'CONF' is a directory in D:\\|CONF
with an unknown option|2|unknown option --bogus|n/NOEXT --bogus
CASES
"$cli" --port "$work/port" cat 'D:\NOEXT' >"$work/noext.out" 2>/dev/null
"$cli" --port "$work/port" ls '\DATA' >"$work/names.ls" 2>/dev/null
check "and nothing was replaced or sent" '[ "$(cat "$work/noext.out")" = old ] && ! grep -q "^REPORT.TXT" "$work/names.ls"'

# Folder plans: many bad names are counted, a link loop named, a link to
# nothing refused before anything goes, "." taken as the folder's own name.
mkdir -p "$work/MANY" "$work/LOOP/SUB" "$work/DANGLE" "$work/HERE"
for i in $(seq 25); do echo "$i" >"$work/MANY/long name $i"; done
ln -s "$work/LOOP" "$work/LOOP/SUB/BACK"
echo a >"$work/DANGLE/A.TXT"
ln -s "$work/nowhere" "$work/DANGLE/B.TXT"
echo h >"$work/HERE/H.TXT"
"$cli" --port "$work/port" put --recursive "$work/MANY" >/dev/null 2>"$work/many.err"
rc=$?
check "put --recursive of 25 bad names shows ten and the count" \
  '[ $rc -eq 1 ] && [ "$(wc -l <"$work/many.err")" -le 13 ] && grep -q "25 in all" "$work/many.err"'
"$cli" --port "$work/port" put --recursive "$work/LOOP" >/dev/null 2>"$work/loop.err"
rc=$?
check "a link loop is named as one" '[ $rc -eq 1 ] && grep -q "loop" "$work/loop.err" && [ "$(wc -l <"$work/loop.err")" -le 3 ]'
"$cli" --port "$work/port" put --recursive "$work/DANGLE" >/dev/null 2>"$work/dangle.err"
rc=$?
"$cli" --port "$work/port" ls >"$work/dangle.ls" 2>/dev/null
check "a link to nothing stops the job before anything is sent" \
  '[ $rc -eq 1 ] && grep -q "B.TXT" "$work/dangle.err" && ! grep -q "^DANGLE" "$work/dangle.ls"'
(cd "$work/HERE" && "$cli" --port "$work/port" put --recursive . >/dev/null 2>&1)
rc=$?
"$cli" --port "$work/port" ls '\HERE' >"$work/here.ls" 2>/dev/null
check "put --recursive . goes up as the folder's name" '[ $rc -eq 0 ] && grep -q "^H.TXT" "$work/here.ls"'
fi

if group noeot; then
# Without the receiver's ACK of the end, a replacement cannot be told from
# the file it replaced: a failure, even at the same stored size.
"$sim" --link "$work/noeot" --transfer noeot >"$work/noeot.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/noeot" ] && break; sleep 0.05; done
line=$(printf 'x%.0s' $(seq 62))
"$cli" --port "$work/noeot" exec "md D:\\T" >/dev/null 2>&1
for f in 'D:\R.TXT' 'D:\T\R.TXT'; do
  "$cli" --port "$work/noeot" exec "echo $line> $f" >/dev/null 2>&1
  "$cli" --port "$work/noeot" exec "echo $line>> $f" >/dev/null 2>&1
done
mkdir -p "$work/T"
head -c 100 /dev/urandom >"$work/R.TXT"
cp "$work/R.TXT" "$work/T/R.TXT"
"$cli" --port "$work/noeot" put --force "$work/R.TXT" >/dev/null 2>"$work/noeot.err"
rc=$?
check "put --force without the end's ACK exits 1" '[ $rc -eq 1 ] && grep -q "may not have been stored" "$work/noeot.err"'
"$cli" --port "$work/noeot" put --recursive --force "$work/T" >/dev/null 2>"$work/noeot.err"
rc=$?
check "so does put --recursive --force" '[ $rc -eq 1 ] && grep -q "may not have been stored" "$work/noeot.err"'
fi

if group interrupt; then
# Ctrl+C: the receiver is told to stop, the state is said, exit 130, and the
# next command works at once. The line is paced as a real one, so that there
# is time to press it.
for i in $(seq 1000); do printf 'line %d of a text file\r\n' "$i"; done >"$work/TEXT.TXT"
"$sim" --link "$work/fast" --drive "$work/slow.img" >"$work/fast.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/fast" ] && break; sleep 0.05; done
"$cli" --port "$work/fast" put "$work/TEXT.TXT" >/dev/null 2>&1
kill $longpid; wait $longpid 2>/dev/null
"$sim" --link "$work/slow" --drive "$work/slow.img" --baud 57600 >"$work/slow.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/slow" ] && break; sleep 0.05; done
head -c 60000 /dev/urandom >"$work/BIG.BIN"
mkdir -p "$work/TREE"
cp "$work/BIG.BIN" "$work/TREE/"
# interrupt SECONDS ARGS...: Ctrl+C after SECONDS; the exit code in $rc
interrupt() {
  local after="$1"
  shift
  set -m  # a script's background job would ignore Ctrl+C
  "$cli" --port "$work/slow" "$@" >/dev/null 2>"$work/int.err" &
  local pid=$!
  set +m
  sleep "$after"
  kill -INT "$pid"
  wait "$pid"
  rc=$?
}
next_ls() { timeout 10 "$cli" --port "$work/slow" ls "$@" >"$work/int.ls" 2>/dev/null; }
while IFS='|' read -r name after text dir args; do
  eval "set -- $args"
  interrupt "$after" "$@"
  check "Ctrl+C during $name exits 130 and says so" '[ $rc -eq 130 ] && grep -q "$text" "$work/int.err"'
  next_ls "$dir"
  check "and the next command works at once, with nothing half stored" '[ $? -eq 0 ] && ! grep -q "^BIG.BIN" "$work/int.ls"'
done <<'CASES'
put|4|receiver was told to stop|\|put "$work/BIG.BIN"
put --recursive|5|receiver was told to stop|\TREE|put --recursive "$work/TREE"
get|3|got.txt' was not created|\|get 'D:\TEXT.TXT' "$work/got.txt"
CASES
check "get created nothing" '[ ! -e "$work/got.txt" ]'

# A file that grows while it goes up is stored at neither size.
("$cli" --port "$work/slow" put "$work/BIG.BIN" >/dev/null 2>"$work/grow.err"; echo $? >"$work/grow.rc") &
sleep 4
head -c 1000 /dev/urandom >>"$work/BIG.BIN"
wait $!
check "a file that changes size while sent fails" '[ "$(cat "$work/grow.rc")" = 1 ] && grep -q "changed size" "$work/grow.err"'
next_ls
check "and is not stored" '! grep -q "^BIG.BIN" "$work/int.ls"'

# The virtual controller formats in a moment: pauses in its output keep the
# format running when Ctrl+C comes.
kill $longpid; wait $longpid 2>/dev/null
"$sim" --link "$work/slow" --drive "$work/slow.img" --baud 57600 --pause-output 1500 >"$work/slow.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/slow" ] && break; sleep 0.05; done
interrupt 0.5 format --yes
check "Ctrl+C during format exits 130 and says the format finished" \
  '[ $rc -eq 130 ] && grep -q "finished erasing drive D:" "$work/int.err"'
kill $longpid; wait $longpid 2>/dev/null

fi

if group lost; then
# A controller that goes away in the middle of its output: said as such, not
# as a shell out of step or a port held by another program. The line is slow
# enough that the controller is still answering when it goes.
for i in $(seq 1000); do printf 'line %d of a text file\r\n' "$i"; done >"$work/TEXT.TXT"
"$sim" --link "$work/fast" --drive "$work/lost.img" >"$work/fast.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/fast" ] && break; sleep 0.05; done
"$cli" --port "$work/fast" put "$work/TEXT.TXT" >/dev/null 2>&1
kill $longpid; wait $longpid 2>/dev/null
while IFS='|' read -r name after args; do
  eval "set -- $args"
  rm -f "$work/lost"
  "$sim" --link "$work/lost" --drive "$work/lost.img" --baud 9600 >"$work/lost.out" 2>&1 &
  longpid=$!
  for _ in $(seq 100); do [ -e "$work/lost" ] && break; sleep 0.05; done
  ("$cli" --port "$work/lost" "$@" >/dev/null 2>"$work/lost.err"; echo $? >"$work/lost.rc") &
  sleep "$after"
  kill $longpid
  wait $!
  wait $longpid 2>/dev/null
  check "a lost line during $name is said as such" \
    '[ "$(cat "$work/lost.rc")" = 1 ] && grep -q "^The serial line was lost ($work/lost)" "$work/lost.err"'
done <<'CASES'
cat|3|cat 'D:\TEXT.TXT'
ls|0.5|ls
ioconf get|1|ioconf get
CASES
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
kill $longpid; wait $longpid 2>/dev/null

# A command line the shell does not echo never started a transfer: said as such.
"$sim" --link "$work/wrong" --wrong-echo >"$work/wrong.out" 2>&1 &
longpid=$!
for _ in $(seq 100); do [ -e "$work/wrong" ] && break; sleep 0.05; done
"$cli" --port "$work/port" ioconf get "$work/echo.cfg" >/dev/null 2>&1
"$cli" --port "$work/wrong" ioconf set "$work/echo.cfg" >/dev/null 2>"$work/wrong.err"
rc=$?
check "ioconf set without the echo says so" \
  '[ $rc -eq 1 ] && grep -q "Unable to send command" "$work/wrong.err" && ! grep -q "Failed to transfer" "$work/wrong.err"'

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

