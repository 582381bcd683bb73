#!/usr/bin/env bash
# Backup and restore from the command line against the virtual controller
# program: a round trip, and the ways a transfer goes wrong. A third argument
# runs one group of checks alone (ctest runs the groups side by side).
set -u
sim="$1"
cli="$2"
only="${3:-}"
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }
work="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

# Starts a virtual controller serving on $work/$1 with the further options.
start_sim() {
  local link="$work/$1"
  shift
  "$sim" --link "$link" "$@" >"$link.out" 2>&1 &
  pids+=($!)
  for _ in $(seq 100); do [ -e "$link" ] && break; sleep 0.05; done
}

# A drive image as the backup writes it: the virtual controller's own drive
# file, which it writes when it starts.
drive_image() {
  start_sim "$1" --drive "$work/$1.drive"
  cp "$work/$1.drive" "$work/b.img"
}

if group roundtrip; then
start_sim port --drive "$work/drive.img"
port="$work/port"

"$cli" --port "$port" backup "$work/b.img" >"$work/backup.out" 2>"$work/backup.err"
rc=$?
check "backup exits 0" '[ $rc -eq 0 ]'
check "backup says it succeeded" 'grep -q "^Read image Successfully!" "$work/backup.err"'
check "the command line is shown" 'grep -q "^D:\\\\KAPRINRD 2 3 4 5$" "$work/backup.out"'
check "the backup is the controller's drive byte for byte" 'cmp -s "$work/b.img" "$work/drive.img"'

echo "a file made after the backup" >"$work/NEW.TXT"
"$cli" --port "$port" put "$work/NEW.TXT" >/dev/null 2>&1
"$cli" --port "$port" ls >"$work/ls1.out" 2>/dev/null
check "the new file is listed" 'grep -q "^NEW.TXT" "$work/ls1.out"'

"$cli" --port "$port" restore "$work/b.img" >/dev/null 2>"$work/noyes.err"
rc=$?
check "restore without --yes exits 1" '[ $rc -eq 1 ]'
check "restore without --yes says what it would do" 'grep -q "with --yes" "$work/noyes.err"'

head -c 1000 "$work/b.img" >"$work/short.img"
"$cli" --port "$port" restore "$work/short.img" --yes >/dev/null 2>"$work/short.err"
rc=$?
check "a short image is refused" '[ $rc -eq 1 ] && grep -q "too short to be a drive image" "$work/short.err"'

"$cli" --port "$port" restore "$work/b.img" --yes >/dev/null 2>"$work/restore.err"
rc=$?
check "restore exits 0" '[ $rc -eq 0 ]'
check "restore says it succeeded" 'grep -q "^Write image Successfully!" "$work/restore.err"'
check "with the controller's last word" 'grep -q "^KAPRINWR: 16384 blocks written" "$work/restore.err"'
"$cli" --port "$port" ls >"$work/ls2.out" 2>/dev/null
check "the new file is gone after the restore" '! grep -q "^NEW.TXT" "$work/ls2.out" && grep -q "^AUTOEXEC.BAT" "$work/ls2.out"'
check "the drive is the image again" 'cmp -s "$work/b.img" "$work/drive.img"'
fi

if group damaged; then
# Damaged blocks far apart are asked for again; the same block damaged three
# times in a row ends the backup, and the earlier image stays as it was.
drive_image good
start_sim apart --drive "$work/apart.drive" --image-bad-crc 0,5000,100000
"$cli" --port "$work/apart" backup "$work/apart.img" >/dev/null 2>"$work/apart.err"
rc=$?
check "three damaged blocks far apart still give the whole drive" '[ $rc -eq 0 ] && cmp -s "$work/apart.img" "$work/apart.drive"'
start_sim bad --image-bad-crc 5000,5000,5000
cp "$work/b.img" "$work/earlier.img"
"$cli" --port "$work/bad" backup "$work/earlier.img" >/dev/null 2>"$work/bad.err"
rc=$?
check "one block damaged three times in a row exits 1" '[ $rc -eq 1 ] && grep -q "^Check sum error!" "$work/bad.err" && grep -q "^Block 5000 arrived damaged 3 times in a row" "$work/bad.err"'
check "the earlier image is untouched" 'cmp -s "$work/b.img" "$work/earlier.img" && [ ! -e "$work/earlier.img.partial" ]'
check "and the program was waited for" 'grep -q "^Waiting for the controller.s program to stop...$" "$work/bad.err" && ! grep -q "did not come back" "$work/bad.err"'
"$cli" --port "$work/bad" ls >/dev/null 2>&1
check "so the next command finds the prompt" '[ $? -eq 0 ]'

# A request the host does not know ends the restore.
start_sim odd --image-invalid-request 3
"$cli" --port "$work/odd" restore "$work/b.img" --yes >/dev/null 2>"$work/odd.err"
rc=$?
check "an unknown request ends the restore" '[ $rc -eq 1 ] && grep -q "^invalid response from Vorn-7730!" "$work/odd.err"'
fi

if group refused; then

# A controller that falls silent is given up on by the watchdog.
start_sim quiet --image-silent-after 100
"$cli" --port "$work/quiet" backup "$work/quiet.img" >/dev/null 2>"$work/quiet.err"
rc=$?
check "a stalled backup exits 1" '[ $rc -eq 1 ] && grep -q "problems with serial communication" "$work/quiet.err"'
check "after waiting for the program, saying its prompt did not come back" 'grep -q "^Waiting for the controller.s program to stop...$" "$work/quiet.err" && grep -q "prompt did not come back" "$work/quiet.err"'
check "a stalled backup leaves no file" '[ ! -e "$work/quiet.img" ] && [ -z "$(find "$work" -name "~vorn*")" ]'

start_sim port
"$cli" --port "$work/port" backup "$work/x.img" --tools "$work/no-such-folder" >/dev/null 2>"$work/tools.err"
rc=$?
check "a missing program folder is named" '[ $rc -eq 1 ] && grep -q "^KAPRINRD.EXE not found in $work/no-such-folder/$" "$work/tools.err"'

# What is not a regular file, or can't be written, is refused in one line
# before the controller hears anything.
mkfifo "$work/fifo.img"
"$cli" --port "$work/port" backup "$work/fifo.img" >"$work/refused.out" 2>"$work/fifo.err"
rc1=$?
"$cli" --port "$work/port" backup "$work/no-such-folder/x.img" >>"$work/refused.out" 2>"$work/nofolder.err"
rc2=$?
"$cli" --port "$work/port" restore "$work" --yes >>"$work/refused.out" 2>"$work/dir.err"
rc3=$?
check "a FIFO target is refused and stays" '[ $rc1 -eq 1 ] && grep -q "FIFO" "$work/fifo.err" && [ -p "$work/fifo.img" ]'
check "a missing folder is refused" '[ $rc2 -eq 1 ] && grep -q "does not exist" "$work/nofolder.err"'
check "a folder as image is refused" '[ $rc3 -eq 1 ] && grep -q "Folder" "$work/dir.err"'
check "each in one line, with nothing typed" '[ "$(cat "$work/fifo.err" "$work/nofolder.err" "$work/dir.err" | wc -l)" = 3 ] && [ ! -s "$work/refused.out" ]'
fi

if group early; then

# A restore program that ends early: what the shell prints then is no
# request, and the rest of the image must never be typed into the shell.
drive_image port
start_sim early --drive "$work/early.img" --image-bytes 16384
cp "$work/b.img" "$work/typed.img"
printf 'mkdir TYPED\rdel AUTOEXEC.BAT\r' | dd of="$work/typed.img" bs=1 seek=16384 conv=notrunc 2>/dev/null
"$cli" --port "$work/early" restore "$work/typed.img" --yes >/dev/null 2>"$work/early.err"
rc=$?
"$cli" --port "$work/early" ls >"$work/early.ls" 2>/dev/null
check "a restore broken off fails" '[ $rc -eq 1 ] && grep -q "^invalid response from Vorn-7730!" "$work/early.err"'
check "and types nothing of the image" 'grep -q "^AUTOEXEC.BAT" "$work/early.ls" && ! grep -q "^TYPED" "$work/early.ls"'
check "the program's last line is quoted whole" 'grep -q "^KAPRINWR Error: stopped after" "$work/early.err"'

# The controller refuses an image that is no drive: its word is the verdict.
head -c 1048576 /dev/zero >"$work/zero.img"
"$cli" --port "$work/port" restore "$work/zero.img" --yes >/dev/null 2>"$work/zero.err"
rc=$?
check "a refused image fails with the controller's reason" '[ $rc -eq 1 ] && grep -q "Error: .*left unchanged" "$work/zero.err" && ! grep -q "Successfully" "$work/zero.err"'
fi

if group interrupt; then

# Ctrl+C during a backup: exit 130, the earlier image as it was, and no file
# of the backup's left beside it.
start_sim intr
mkdir "$work/int"
echo "an earlier image" >"$work/int/earlier.img"
cp "$work/int/earlier.img" "$work/earlier.copy"
set -m  # a script's background job would ignore Ctrl+C
"$cli" --port "$work/intr" backup "$work/int/earlier.img" >/dev/null 2>"$work/int.err" &
cli_pid=$!
set +m
for _ in $(seq 200); do [ -n "$(find "$work/int" -name "~vorn*")" ] && break; sleep 0.05; done
sleep 1
kill -INT "$cli_pid"
wait "$cli_pid"
rc=$?
check "Ctrl+C stops a backup with exit 130" '[ $rc -eq 130 ] && grep -q "^The backup was stopped by the user" "$work/int.err"'
check "the earlier image is kept, nothing left beside it" 'cmp -s "$work/earlier.copy" "$work/int/earlier.img" && [ "$(ls -A "$work/int")" = earlier.img ]'
check "the stopped program was waited for, and its prompt came back" 'grep -q "^Waiting for the controller.s program to stop...$" "$work/int.err" && ! grep -q "did not come back" "$work/int.err"'
"$cli" --port "$work/intr" ls >/dev/null 2>&1
check "the next command after a stop finds the prompt" '[ $? -eq 0 ]'
fi

if group noise; then
# A line that flips bits both ways: a whole backup at 1e-5 still gives
# exactly the drive; a restore ends exactly right or says it must be redone.
start_sim noisy --drive "$work/noisy.drive" --noise 1e-5 --noise-seed 1
"$cli" --port "$work/noisy" backup "$work/noisy.img" >/dev/null 2>"$work/noisy.err"
rc=$?
check "a whole backup at 1e-5 succeeds" '[ $rc -eq 0 ]'
check "with exactly the drive's bytes" 'cmp -s "$work/noisy.img" "$work/noisy.drive"'
"$cli" --port "$work/noisy" restore "$work/noisy.img" --yes >/dev/null 2>"$work/nrestore.err"
rc=$?
if [ $rc -eq 0 ]; then
  check "a restore that succeeds wrote exactly the image" 'cmp -s "$work/noisy.img" "$work/noisy.drive"'
else
  check "a restore with damaged blocks fails saying how many and to restore again" '[ $rc -eq 1 ] && grep -q "^The restore failed: [0-9]* blocks\? of the image arrived damaged" "$work/nrestore.err" && grep -q "must be restored again" "$work/nrestore.err" && ! grep -q "Successfully" "$work/nrestore.err"'
fi
# A listing has no check of its own: ls prints one only when two reads agree.
start_sim clean
"$cli" --port "$work/clean" ls >"$work/clean.ls" 2>/dev/null
start_sim poor --noise 1e-4 --noise-seed 3
listed=0
for i in 1 2 3 4 5 6 7 8; do
  if "$cli" --port "$work/poor" ls >"$work/poor.ls" 2>"$work/poor.err"; then
    listed=$((listed + 1))
    check "ls at 1e-4 ($i) prints exactly the listing" 'cmp -s "$work/clean.ls" "$work/poor.ls"'
  fi
done
check "most listings at 1e-4 get through" '[ $listed -ge 4 ]'
for bad in "--noise 2" "--noise x" "--noise-seed -1" "--noise-seed 1x"; do
  "$sim" $bad >/dev/null 2>&1
  check "$bad is refused" '[ $? -eq 2 ]'
done
fi

if group standins; then

# A controller that does not name itself as the virtual one gets no stand-in:
# both transfers stop after the harmless query, with the drive as it was.
start_sim real --as-real-controller --drive "$work/real.drive"
cp "$work/real.drive" "$work/before.img"
"$cli" --port "$work/real" backup "$work/r.img" >"$work/rb.out" 2>"$work/rb.err"
rc1=$?
"$cli" --port "$work/real" restore "$work/before.img" --yes >"$work/rr.out" 2>"$work/rr.err"
rc2=$?
check "backup and restore refuse the stand-ins (exit 1)" '[ $rc1 -eq 1 ] && [ $rc2 -eq 1 ] && [ ! -e "$work/r.img" ]'
check "naming the program and --tools" 'grep -q "KAPRINRD.EXE" "$work/rb.err" && grep -q "KAPRINWR.EXE" "$work/rr.err" && grep -q -- "--tools DIR" "$work/rr.err"'
check "with nothing but the query typed" '[ "$(cat "$work/rb.out" "$work/rr.out" | grep -c .)" -le 4 ] && ! grep -qi "transfer\|KAPRIN" "$work/rb.out" "$work/rr.out"'
check "and the drive unchanged" 'cmp -s "$work/before.img" "$work/real.drive"'

# Programs that are no stand-ins go without asking.
mkdir "$work/tools"
echo "the real image backup" >"$work/tools/KAPRINRD.EXE"
"$cli" --port "$work/real" backup "$work/r.img" --tools "$work/tools" >"$work/rt.out" 2>/dev/null
rc=$?
check "real programs from --tools are sent" '[ $rc -eq 0 ] && ! grep -q "^ver" "$work/rt.out" && grep -q "^D:\\\\KAPRINRD" "$work/rt.out"'
fi

exit $fail
