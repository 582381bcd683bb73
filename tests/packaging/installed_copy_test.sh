#!/usr/bin/env bash
# An installation into a fresh prefix: every program gives the project's
# version without a display, each has a manual page, the desktop entry is
# valid and its program and icon are there, and the command line's completion
# offers every subcommand and every option that --help names for it.
set -u
build="$1"
version="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail=0
check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }

prefix="$work/usr"
cmake --install "$build" --prefix "$prefix" >/dev/null || { echo "FAILED: cmake --install"; exit 1; }

for program in vorn7730-utility vorn7730-cli vorn7730-sim; do
  out="$(env -u DISPLAY -u WAYLAND_DISPLAY "$prefix/bin/$program" --version 2>&1)"
  check "$program --version" '[ "$out" = "$program $version" ]'
  check "$program has a manual page" 'zcat "$prefix/share/man/man1/$program.1.gz" | grep -q "^\.TH \"\?${program^^}"'
done

desktop="$prefix/share/applications/vorn7730-utility.desktop"
check "the desktop entry is valid" 'desktop-file-validate "$desktop"'
exec_name="$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")"
icon="$(sed -n 's/^Icon=//p' "$desktop")"
check "it starts an installed program" '[ -x "$prefix/bin/$exec_name" ]'
check "its icon is in the hicolor theme" 'compgen -G "$prefix/share/icons/hicolor/*/apps/$icon.*" >/dev/null'

# What bash offers after the words given (the last one being completed).
offered() {
  COMP_WORDS=("$@")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  COMP_LINE="$*"
  COMP_POINT=${#COMP_LINE}
  COMPREPLY=()
  _vorn7730_cli vorn7730-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
  printf '%s\n' "${COMPREPLY[@]}"
}
# shellcheck disable=SC1091
source /usr/share/bash-completion/bash_completion
# shellcheck disable=SC1091
source "$prefix/share/bash-completion/completions/vorn7730-cli"
# --help: a subcommand's lines start with two spaces and its name, the lines
# that go on with more spaces; the program's own options with two spaces and --.
declare -A wanted=()
while IFS= read -r line; do
  if [[ $line =~ ^\ \ ([a-z]+)\  ]]; then
    sub="${BASH_REMATCH[1]}"
    wanted[$sub]+=""
  elif [[ $line =~ ^\ \ - ]]; then
    sub=""
  elif [[ $line =~ ^\ \ \  && -z ${sub:-} ]]; then
    continue
  fi
  [ -n "${sub:-}" ] || continue
  for option in $(grep -o -- '--[a-z][a-z-]*' <<<"$line"); do wanted[$sub]+=" $option"; done
done < <("$prefix/bin/vorn7730-cli" --help)
check "--help names subcommands" '[ ${#wanted[@]} -ge 10 ]'
subcommands="$(offered vorn7730-cli --port P "")"
for sub in "${!wanted[@]}"; do
  check "completion offers $sub" 'grep -qx "$sub" <<<"$subcommands"'
  options="$(offered vorn7730-cli --port P "$sub" --)"
  # net's options follow its verb.
  [ "$sub" = net ] && options="$(offered vorn7730-cli --port P net address --; offered vorn7730-cli --port P net users --)"
  for option in $(printf "%s\n" ${wanted[$sub]} | sort -u); do
    check "completion offers $sub $option" 'grep -qx -- "$option" <<<"$options"'
  done
done
exit $fail
