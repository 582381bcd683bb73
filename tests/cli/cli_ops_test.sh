#!/usr/bin/env bash
# The command line's file operations against the virtual controller: each
# exits 0 only when the controller's listing or answer confirms it.
set -u
sim="$1"
cli="$2"
# A third argument runs one group of checks alone (ctest runs them side by side).
only="${3:-}"
group() { [ -z "$only" ] || [ "$only" = "$1" ]; }
work="$(mktemp -d)"
simpid=
trap 'kill $simpid 2>/dev/null; wait $simpid 2>/dev/null; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

"$sim" --link "$work/port" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -e "$work/port" ] && break; sleep 0.05; done
# run NAME EXPECTED-EXIT ARGS...: output in $work/out, errors in $work/err
run() {
  local name="$1" want="$2"
  shift 2
  (cd "$work" && timeout 30 "$cli" --port "$work/port" "$@" >"$work/out" 2>"$work/err")
  local rc=$?
  check "$name exits $want" '[ $rc -eq $want ]'
}

if group offline; then
# The window program refuses a record it was asked for and could not keep.
utility="$(dirname "$cli")/vorn7730-utility"
if [ -x "$utility" ]; then
  QT_QPA_PLATFORM=offscreen timeout 20 "$utility" --log '' >/dev/null 2>"$work/log.err"
  rc=$?
  check "vorn7730-utility --log '' is refused" '[ $rc -eq 2 ] && grep -q "needs a file name" "$work/log.err"'
fi
usage="$("$cli" --help)"
for sub in exec ls put mkdir rmdir rm mv cat get mem format autorun net init ioconf backup restore; do
  check "--help lists $sub" 'grep -q "^  $sub " <<<"$usage"'
done
fi

if group text; then
# Text back: a file written with echo comes back as it was, up to nothing more.
run "echo into a file" 0 exec 'echo first line> D:\DATA\NOTE.TXT'
run "append a line" 0 exec 'echo   second line>> D:\DATA\NOTE.TXT'
run "cat of a text file" 0 cat 'D:\DATA\NOTE.TXT'
check "cat prints its lines" '[ "$(cat "$work/out")" = "$(printf "first line\n  second line")" ]'
run "get of a text file" 0 get 'D:\DATA\NOTE.TXT'
check "get saves it with the controller's line ends" '[ "$(od -c <"$work/NOTE.TXT")" = "$(printf "first line\r\n  second line\r\n" | od -c)" ]'
mkdir "$work/into"
run "get into a folder" 0 get 'D:\DATA\NOTE.TXT' "$work/into"
check "the file has the controller's name there" '[ -s "$work/into/NOTE.TXT" ]'
echo mine >"$work/keep"
run "get over an existing file" 1 get 'D:\DATA\NOTE.TXT' "$work/keep"
check "the existing file is kept" '[ "$(cat "$work/keep")" = mine ] && grep -q "already exists" "$work/err"'
run "cat of a program" 1 cat 'D:\DEMO.EXE'
check "the refusal points to the image backup" 'grep -q "image backup" "$work/err" && [ ! -s "$work/out" ]'
run "cat of a missing file" 1 cat 'D:\DATA\NONE.TXT'
run "cat of a relative path" 2 cat 'NOTE.TXT'
{ head -c 1100 /dev/zero | tr '\0' x; printf '\r\n'; } >"$work/LONG.TXT"
run "put of a file with a long line" 0 put "$work/LONG.TXT" --to '\DATA'
run "cat of a line longer than a read" 1 cat 'D:\DATA\LONG.TXT'
check "it says so instead of a cut text" 'grep -q "line too long" "$work/err" && [ ! -s "$work/out" ]'

run "ls --json" 0 ls '\DATA' --json
if command -v python3 >/dev/null; then
  check "ls --json is JSON with the entries and free bytes" \
    'python3 -c "import json,sys; d=json.load(sys.stdin); assert any(e[\"name\"]==\"NOTE.TXT\" and not e[\"directory\"] for e in d[\"entries\"]); assert d[\"bytesFree\"]>0" <"$work/out"'
fi

fi

if group files; then
run "a file to work on" 0 exec 'echo first line> D:\DATA\NOTE.TXT'
run "mkdir" 0 mkdir 'D:\DATA\SUB'
run "mkdir of an existing directory" 1 mkdir 'D:\DATA\SUB'
run "mv" 0 mv 'D:\DATA\NOTE.TXT' NOTE2.TXT
run "mv of a missing file" 1 mv 'D:\DATA\NOTE.TXT' NOTE3.TXT
run "mv to another directory" 2 mv 'D:\DATA\NOTE2.TXT' 'D:\NOTE3.TXT'
run "rmdir of a directory with a file" 1 rmdir 'D:\CONF'
run "rm of a directory" 1 rm 'D:\DATA\SUB'
run "rm" 0 rm 'D:\DATA\NOTE2.TXT'
run "rm of a missing file" 1 rm 'D:\DATA\NOTE2.TXT'
run "rmdir" 0 rmdir 'D:\DATA\SUB'
run "ls after the changes" 0 ls '\DATA'
check "the listing shows none of them" '! grep -q "^NOTE\|^SUB" "$work/out"'

fi

if group misc; then
run "mem" 0 mem
check "mem prints the report" 'grep -q "Total memory" "$work/out"'
run "mem with an argument" 2 mem x

run "autorun of a program" 0 autorun 'D:\DEMO.EXE'
run "autorun --append, the option first" 0 autorun --append 'D:\COUNTER.EXE'
run "autorun --show" 0 autorun --show
check "AutoRun.bat names both" '[ "$(cat "$work/out")" = "$(printf "DEMO.EXE\nCOUNTER.EXE")" ]'
run "autorun of a batch file" 1 autorun 'D:\AUTOEXEC.BAT'

printf 'abc\r\n' >"$work/A.TXT"
run "put of a new file" 0 put "$work/A.TXT"
run "put over a listed file" 1 put "$work/A.TXT"
check "put names the file and --force" 'grep -q "A.TXT.*--force" "$work/err"'
run "put --force" 0 put --force "$work/A.TXT"

run "format without --yes" 1 format
run "ls after the refused format" 0 ls
check "nothing was erased" 'grep -q "^A.TXT" "$work/out"'
run "format --yes" 0 format --yes
run "ls after format" 0 ls
check "drive D: is empty" '[ "$(wc -l <"$work/out")" = 1 ]'

fi

if group sweep; then
# An uploaded text file ends in the NUL bytes that fill its last block: what
# is read back is the text alone, and --append refuses before it changes anything.
printf 'DEMO.EXE\r\n' >"$work/AUTORUN.BAT"
run "put of a text file" 0 put --force "$work/AUTORUN.BAT"
run "cat of it" 0 cat 'D:\AUTORUN.BAT'
check "cat drops the block fill" '[ "$(od -An -c "$work/out" | tr -d " \n")" = "DEMO.EXE\\n" ]'
run "autorun --show of it" 0 autorun --show
check "autorun --show drops the block fill" '[ "$(od -An -c "$work/out" | tr -d " \n")" = "DEMO.EXE\\n" ]'
run "get of it" 0 get 'D:\AUTORUN.BAT' "$work/got.bat"
check "get drops the block fill" '[ "$(od -An -c "$work/got.bat" | tr -d " \n")" = "DEMO.EXE\\r\\n" ]'
run "autorun --append onto the filled file" 1 autorun 'D:\COUNTER.EXE' --append
check "it says so and changes nothing" 'grep -q "nothing was changed" "$work/err"'
run "autorun --show afterwards" 0 autorun --show
check "AutoRun.bat is as it was" '[ "$(od -An -c "$work/out" | tr -d " \n")" = "DEMO.EXE\\n" ]'

# The reason given is the real one, on one line.
while IFS='|' read -r name want text args; do
  eval "set -- $args"
  run "$name" "$want" "$@"
  check "$name says: $text" 'grep -q -- "$text" "$work/err" && [ "$(wc -l <"$work/err")" -eq 1 ] && ! grep -q $'"'"'\r'"'"' "$work/err"'
done <<'CASES'
mkdir of a long name|1|'LONGDIRNAME12' is not a name the controller takes|mkdir 'D:\LONGDIRNAME12'
mv to a long name|1|'VERYLONGNAME.EXE' is not a name the controller takes|mv 'D:\DEMO.EXE' VERYLONGNAME.EXE
rmdir of a full directory|1|'D:\\CONF' is not empty|rmdir 'D:\CONF'
mv of a directory|1|renames files only|mv 'D:\CONF' X
ls of a missing directory|1|Invalid directory '\\NOPE'!|ls '\NOPE'
format of a named drive|2|format takes no drive|format --yes D:
CASES
fi

if group offline; then
# Without a controller every one of them fails with exit 1.
for args in "mkdir D:\\X" "rmdir D:\\X" "rm D:\\X" "mv D:\\X Y" "cat D:\\X.TXT" "get D:\\X.TXT" "mem" \
  "format --yes" "autorun D:\\X.EXE" "autorun --show"; do
  (cd "$work" && timeout 30 "$cli" --port /dev/vorn-no-such-port $args >/dev/null 2>"$work/err")
  rc=$?
  check "$args without a controller exits 1" '[ $rc -eq 1 ] && [ -s "$work/err" ]'
done
# A name that would change the typed line is refused in one line before the port is opened.
for args in 'mkdir D:\DATA\A>B' 'mv D:\X.TXT *.TXT' 'rm D:\A|B\X' 'ls \DATA;X' 'put F --to \A&B' \
  'cat D:\"Q".TXT' 'autorun --show D:\A=B'; do
  (set -f && cd "$work" && timeout 30 "$cli" --port /dev/vorn-no-such-port $args >/dev/null 2>"$work/err")
  rc=$?
  check "$args is refused before the port opens" \
    '[ $rc -eq 1 ] && [ "$(wc -l <"$work/err")" = 1 ] && grep -q "is not a name the controller takes" "$work/err"'
done
fi
exit $fail
