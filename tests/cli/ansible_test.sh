#!/usr/bin/env bash
# The example playbook on this machine (connection local) against two virtual
# controllers: the images and the summary arrive, and a missing controller
# fails the play without losing the others' images.
set -u
sim="$(realpath "$1")"
cli="$(realpath "$2")"
playbook="$(realpath "$3")"
work="$(mktemp -d)"
pids=()
trap 'for p in "${pids[@]}"; do kill "$p" 2>/dev/null; wait "$p" 2>/dev/null; done; rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

if ! command -v ansible-playbook >/dev/null; then
  echo "ansible-playbook is not installed (bash tools/setup.sh test installs ansible-core)"
  exit 1
fi
for n in a b; do
  "$sim" --link "$work/$n" --drive "$work/$n.drive" >"$work/$n.out" 2>&1 &
  pids+=($!)
done
for n in a b; do
  for _ in $(seq 100); do [ -e "$work/$n" ] && [ -s "$work/$n.drive" ] && break; sleep 0.05; done
done
export ANSIBLE_LOCAL_TEMP="$work/ansible-tmp" ANSIBLE_REMOTE_TEMP="$work/ansible-tmp" ANSIBLE_NOCOLOR=1 \
  ANSIBLE_RETRY_FILES_ENABLED=0 ANSIBLE_STDOUT_CALLBACK=default HOME="$work"
safe() { printf '%s' "$1" | tr -c 'A-Za-z0-9_-' '_'; }

play() {  # inventory ports (a JSON list), then the output file
  cat >"$work/inventory.ini" <<INI
[vorn_sites]
localhost ansible_connection=local ansible_python_interpreter=/usr/bin/python3 vorn_ports='$1'
INI
  ansible-playbook -i "$work/inventory.ini" "$playbook" -e "vorn_cli=$cli" -e "fetch_dir=$work/fetched" \
    -e "vorn_remote_dir=$work/remote-$3" >"$work/$2" 2>&1
}

play "[\"$work/a\", \"$work/b\"]" good.out good
rc=$?
check "the play succeeds" '[ $rc -eq 0 ]'
check "both images are fetched and equal the drives" 'cmp -s "$work/fetched/localhost/$(safe "$work/a").img" "$work/a.drive" && cmp -s "$work/fetched/localhost/$(safe "$work/b").img" "$work/b.drive"'
check "the summary is fetched" 'python3 -c "import json,sys; s=json.load(open(sys.argv[1])); sys.exit(s[\"succeeded\"] != 2)" "$work/fetched/localhost/summary.json"'

rm -rf "$work/fetched"
play "[\"$work/a\", \"$work/missing\"]" bad.out bad
rc=$?
check "a missing controller fails the play, naming it" '[ $rc -ne 0 ] && grep -q "$work/missing failed on localhost" "$work/bad.out"'
check "the other's image and the summary still arrive" 'cmp -s "$work/fetched/localhost/$(safe "$work/a").img" "$work/a.drive" && grep -q "\"failed\": 1" "$work/fetched/localhost/summary.json"'
[ $fail -eq 0 ] || cat "$work/good.out" "$work/bad.out"
exit $fail
