#!/usr/bin/env bash
# Many controllers at once: repeated --port and --ports FILE against three
# virtual controllers (one behind Debian's ser2net when it is there). A third
# argument runs one group of checks alone.
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

for n in a b c; do
  "$sim" --link "$work/$n" --drive "$work/$n.drive" >"$work/$n.out" 2>&1 &
  pids+=($!)
done
for n in a b c; do
  for _ in $(seq 100); do [ -e "$work/$n" ] && [ -s "$work/$n.drive" ] && break; sleep 0.05; done
done
a="$work/a" b="$work/b" c="$work/c"
safe() { printf '%s' "$1" | tr -c 'A-Za-z0-9_-' '_'; }

if group basic; then
mkdir "$work/img"
"$cli" --port "$a" --port "$b" backup "$work/img/{port}.img" >"$work/backup.out" 2>"$work/backup.err"
rc=$?
check "a backup of two controllers exits 0" '[ $rc -eq 0 ]'
check "one image each, named after its port" 'cmp -s "$work/img/$(safe "$a").img" "$work/a.drive" && cmp -s "$work/img/$(safe "$b").img" "$work/b.drive"'
check "every output line begins with its port" '! grep -v -e "^$a: " -e "^$b: " "$work/backup.out" && grep -q "^$a: D:\\\\KAPRINRD" "$work/backup.out"'
check "the summary names both as ok" 'grep -q "^$a  *ok  " "$work/backup.err" && grep -q "^$b  *ok  " "$work/backup.err"'

printf '# the site\n%s\n\n  %s  \n/nonexistent/port\n' "$a" "$c" >"$work/ports"
"$cli" --ports "$work/ports" --json ls >"$work/ls.out" 2>"$work/ls.err"
rc=$?
check "one missing port of three makes the exit code 1" '[ $rc -eq 1 ]'
check "the others list their drive" 'grep -q "^$a: AUTOEXEC.BAT" "$work/ls.out" && grep -q "^$c: AUTOEXEC.BAT" "$work/ls.out"'
check "the failure is the missing port's, with its reason" 'grep -q "^/nonexistent/port: Reason: .*does not exist" "$work/ls.err" && grep -q "^/nonexistent/port  *failed .*does not exist" "$work/ls.err"'
check "--json gives the summary as JSON" 'python3 -c "
import json, sys
lines = open(sys.argv[1]).read()
s = json.loads(lines[lines.index(\"{\\\"ports\\\"\"):])
assert [p[\"result\"] for p in s[\"ports\"]] == [\"ok\", \"ok\", \"failed\"] and s[\"failed\"] == 1
assert \"does not exist\" in s[\"ports\"][2][\"reason\"]" "$work/ls.out"'

"$cli" --port "$a" --port "$b" backup "$work/img/one.img" >/dev/null 2>"$work/one.err"
rc=$?
check "a backup of many into one file is refused" '[ $rc -eq 2 ] && grep -q "needs {port}" "$work/one.err" && [ ! -e "$work/img/one.img" ]'
"$cli" --ports "$work/img" ls >/dev/null 2>"$work/folder.err"
rc=$?
check "a folder as the ports file is refused in one line" '[ $rc -eq 1 ] && [ "$(wc -l <"$work/folder.err")" -eq 1 ]'
"$cli" --port "$a" --port "$a" ls >/dev/null 2>"$work/twice.err"
rc=$?
check "a port named twice is refused" '[ $rc -eq 2 ] && grep -q "named twice" "$work/twice.err"'
fi

if group question; then
# Without a terminal nothing is asked and every controller refuses; on one,
# the question comes once for all.
"$cli" --port "$a" --port "$b" format </dev/null >/dev/null 2>"$work/noyes.err"
rc=$?
check "format of many without --yes and without a terminal exits 1" '[ $rc -eq 1 ] && [ "$(grep -c "with --yes\|--yes" "$work/noyes.err")" -ge 2 ]'
echo keep >"$work/KEEP.TXT"
"$cli" --port "$a" --port "$b" put "$work/KEEP.TXT" >/dev/null 2>&1
printf 'y\n' | script -qec "'$cli' --port '$a' --port '$b' format" /dev/null >"$work/asked.out" 2>&1
rc=$?
check "on a terminal it is asked once, and yes formats both" '[ $rc -eq 0 ] && [ "$(grep -c "Go on?" "$work/asked.out")" -eq 1 ]'
"$cli" --port "$a" --port "$b" ls >"$work/after.out" 2>/dev/null
check "the drives are empty" '! grep -q "KEEP.TXT" "$work/after.out"'
fi

if group interrupt; then
# Ctrl+C stops every controller's backup: exit 130 and no file left behind.
mkdir "$work/int"
set -m  # a script's background job would ignore Ctrl+C
"$cli" --port "$a" --port "$b" --port "$c" backup "$work/int/{port}.img" >/dev/null 2>"$work/int.err" &
cli_pid=$!
set +m
for _ in $(seq 200); do [ "$(find "$work/int" -name "~vorn*" | wc -l)" -ge 3 ] && break; sleep 0.05; done
sleep 1
kill -INT "$cli_pid"
wait "$cli_pid"
rc=$?
check "Ctrl+C stops all with exit 130" '[ $rc -eq 130 ] && [ "$(grep -c "  stopped  " "$work/int.err")" -eq 3 ]'
check "and leaves no file behind" '[ -z "$(ls -A "$work/int")" ]'
# The controllers' image programs give up waiting for the host on their own.
for _ in $(seq 15); do
  "$cli" --port "$a" --port "$b" --port "$c" ls >/dev/null 2>&1 && break
  sleep 2
done
check "every controller answers again afterwards" '"$cli" --port "$a" --port "$b" --port "$c" ls >/dev/null 2>&1'
fi

exit $fail
