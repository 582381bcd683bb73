#!/usr/bin/env bash
# The Windows build, checked on Linux: cross-builds the whole utility, its
# command line and their tests with MinGW-w64 and Qt for Windows, runs the
# tests under Wine, runs vorn7730-cli.exe under Wine against the Linux virtual
# controller (its pseudo-terminal linked into the Wine prefix as COM5), then
# packs the Windows zip and installer, installs silently (/S) and starts the
# installed utility on a virtual display: it lists the controller's drive D:
# and makes a backup image with the image tool. At the end the uninstaller
# runs silently and must leave nothing of the installation.
#
# usage: tools/test-windows.sh [LINUX_BUILD_DIR]
# Normally started by "bash tools/setup.sh test-windows", which installs the
# packages and builds the virtual controller first. Qt for Windows: the one in
# VORN_QT_WINDOWS (built there by tools/build-qt-windows.sh when missing), else
# a ready copy in ../shared/qt6-mingw, else one built under ~/.cache/vorn7730.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
linux_build="${1:-${VORN_BUILD_DIR:-$root/build}}"
win_build="${VORN_WINDOWS_BUILD_DIR:-$root/build-windows}"
jobs="$(nproc)"
started=$SECONDS

sim="$linux_build/sim/vorn7730-sim"
linux_cli="$linux_build/src/app/vorn7730-cli"
for f in "$sim" "$linux_cli"; do
  [ -x "$f" ] || { echo "missing $f: build the Linux tree first (tools/setup.sh test-windows)" >&2; exit 2; }
done

# shellcheck source=windows-build.sh
. "$root/tools/windows-build.sh"
windows_qt
echo "== Qt $qt_version for Windows: $qt"

echo "== Windows cross build ($win_build)"
windows_configure "$win_build"
cmake --build "$win_build" -j "$jobs"
cli_exe="$win_build/src/app/vorn7730-cli.exe"

# A Wine prefix of our own, without a display and without the prompts for
# Mono and Gecko; shortcuts stay inside it instead of becoming menu entries of
# this machine.
work="$(mktemp -d)"
export WINEPREFIX="$work/wine" WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml,winemenubuilder.exe="
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
mkdir -p "$WINEPREFIX"
simpid=""
netpids=""
socatpid=""
serverpid=""
xpids=""
cleanup() {
  local status=$?
  set +e
  for pid in $xpids $simpid $socatpid $netpids; do
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  # The server of this prefix, with every Wine process of the prefix (its
  # device services would outlive a plain kill of the server).
  if [ -n "$serverpid" ]; then
    wineserver -k 2>/dev/null
    kill "$serverpid" 2>/dev/null
    wait "$serverpid" 2>/dev/null
  fi
  rm -rf "$work"
  exit $status
}
trap cleanup EXIT

# A persistent server first: otherwise each program's server lingers after it
# with the program's output still open, and every run waits for it.
wineserver -f -p </dev/null >/dev/null 2>&1 &
serverpid=$!
echo "== Wine prefix"
wineboot -i </dev/null >/dev/null 2>&1
winpath() { printf 'Z:%s' "${1//\//\\}"; }

# A documents folder named in non-ASCII characters, inside the prefix rather
# than the home folder Wine links it to.
documents='C:\users\Public\Dokumente-Müller-é'
mkdir -p "$WINEPREFIX/drive_c/users/Public/Dokumente-Müller-é"
wine reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
  /v Personal /t REG_SZ /d "$documents" /f </dev/null >/dev/null 2>&1

# Two linked pseudo-terminals as COM6 and COM7: the port tests' null-modem pair.
socat pty,raw,echo=0,link="$work/pair6" pty,raw,echo=0,link="$work/pair7" </dev/null >/dev/null 2>&1 &
socatpid=$!
for _ in $(seq 100); do [ -e "$work/pair6" ] && [ -e "$work/pair7" ] && break; sleep 0.05; done
ln -sfn "$(readlink -f "$work/pair6")" "$WINEPREFIX/dosdevices/com6"
ln -sfn "$(readlink -f "$work/pair7")" "$WINEPREFIX/dosdevices/com7"

fail=0
echo "== Windows tests under Wine"
# Qt's DLLs and the compiler's runtime, found by the test programs through the
# search path; Qt finds its plugins beside its DLLs.
cxx=x86_64-w64-mingw32-g++-posix
runtime="$(dirname "$($cxx -print-file-name=libstdc++-6.dll)")"
pthread="$(dirname "$(readlink -f "$($cxx -print-file-name=libwinpthread-1.dll)")")"
test_winepath="$(winpath "$qt/bin");$(winpath "$runtime");$(winpath "$pthread")"
(cd "$win_build" && WINEPATH="$test_winepath" VORN_TEST_COM_PAIR=COM6,COM7 \
  ctest --output-on-failure -j "$jobs" --timeout 300 </dev/null) || fail=1

echo "== vorn7730-cli.exe against the virtual controller"
"$sim" --link "$work/port" --drive "$work/drive.img" >"$work/sim.out" 2>&1 &
simpid=$!
for _ in $(seq 100); do [ -s "$work/sim.out" ] && break; sleep 0.05; done
pty="$(head -n1 "$work/sim.out")"
[ -e "$pty" ] || { echo "the virtual controller did not start" >&2; exit 1; }
ln -sfn "$pty" "$WINEPREFIX/dosdevices/com5"

check() { if eval "$2"; then echo "ok: $1"; else echo "FAILED: $1"; fail=1; fi; }
# The Windows tool with its line ends made Unix ones.
wcli() { wine "$cli_exe" --port COM5 "$@" </dev/null; }
unix_lines() { tr -d '\r' <"$1" >"$1.lf"; }
# A file of the virtual controller's drive, read from the image it saves after
# every change (layout in sim/drive.h).
drive_file() {
  python3 - "$work/drive.img" "$1" <<'EOF'
import struct, sys
img = open(sys.argv[1], "rb").read()
fat_first, root = struct.unpack_from("<H", img, 12)[0], struct.unpack_from("<H", img, 16)[0]
fat = lambda c: struct.unpack_from("<H", img, 1024 * fat_first + 2 * c)[0]
def chain(c):
    while c not in (0, 0xFFFF):
        yield img[1024 * c:1024 * (c + 1)]
        c = fat(c)
def find(cluster, name):
    data = b"".join(chain(cluster))
    for i in range(0, len(data), 32):
        e = data[i:i + 32]
        if e[0] == 0: break
        if e[0] == 0xE5: continue
        n = e[0:8].decode("latin-1").rstrip() + ("." + e[8:11].decode("latin-1").rstrip() if e[8:11].strip() else "")
        if n.upper() == name.upper():
            return struct.unpack_from("<H", e, 26)[0], struct.unpack_from("<I", e, 28)[0]
    sys.exit("not on the drive: " + name)
cluster, size = root, 0
for part in [p for p in sys.argv[2].split("\\") if p]:
    cluster, size = find(cluster, part)
sys.stdout.buffer.write(b"".join(chain(cluster))[:size])
EOF
}

wcli exec 'C:\mem' >"$work/mem.out" 2>"$work/mem.err" && rc=0 || rc=$?
unix_lines "$work/mem.out"
"$linux_cli" --port "$pty" exec 'C:\mem' >"$work/mem.linux" 2>/dev/null || true
check "exec C:\\mem exits 0" '[ $rc -eq 0 ]'
check "exec C:\\mem prints what the Linux tool prints" 'cmp -s "$work/mem.out.lf" "$work/mem.linux"'
check "exec C:\\mem writes CR LF line ends" 'grep -q $'"'"'\r$'"'"' "$work/mem.out"'
check "exec C:\\mem: nothing on standard error" '[ ! -s "$work/mem.err" ]'

wcli ls >"$work/ls.out" 2>/dev/null && rc=0 || rc=$?
unix_lines "$work/ls.out"
"$linux_cli" --port "$pty" ls >"$work/ls.linux" 2>/dev/null || true
check "ls exits 0" '[ $rc -eq 0 ]'
check "ls prints what the Linux tool prints" 'cmp -s "$work/ls.out.lf" "$work/ls.linux"'
check "ls ends with the bytes free" 'tail -n1 "$work/ls.out.lf" | grep -q "bytes free"'

wcli ls '\NOSUCH' >/dev/null 2>"$work/ls2.err" && rc=0 || rc=$?
check "ls of a missing folder exits 1" '[ $rc -eq 1 ]'
check "ls of a missing folder says why" 'grep -q "Invalid " "$work/ls2.err"'

mkdir -p "$work/host"
printf 'small file\r\n' >"$work/host/SMALL.TXT"
head -c 100000 /dev/urandom >"$work/host/BIG.BIN"
# 128-byte blocks, the last one filled with 0x00.
same_upload() {
  local size; size=$(wc -c <"$2")
  cmp -s <(head -c "$size" "$1") "$2" && [ "$(wc -c <"$1")" -eq $(((size + 127) / 128 * 128)) ] &&
    [ -z "$(tail -c +$((size + 1)) "$1" | tr -d '\000')" ]
}
put_check() {  # label, host file, controller name
  local file="$2"
  wcli put "$(winpath "$file")" --to '\DATA' >/dev/null 2>"$work/put.err" && rc=0 || rc=$?
  check "put of $1 exits 0" '[ $rc -eq 0 ]'
  [ $rc -eq 0 ] || sed 's/^/  /' "$work/put.err"
  drive_file "\\DATA\\$3" >"$work/back" 2>/dev/null || true
  check "$1 arrives byte for byte" 'same_upload "$work/back" "$file"'
}
put_check "a small file" "$work/host/SMALL.TXT" SMALL.TXT
put_check "a 100 KB file" "$work/host/BIG.BIN" BIG.BIN
# The path reaches the program as UTF-16 and is opened by its UTF-8 form.
mkdir -p "$work/Messdaten-ï-é"
printf 'from a non-ASCII folder\r\n' >"$work/Messdaten-ï-é/NONASCII.TXT"
put_check "a file whose path holds non-ASCII characters" "$work/Messdaten-ï-é/NONASCII.TXT" NONASCII.TXT

wine "$cli_exe" --port COM99 exec dir </dev/null >/dev/null 2>"$work/none.err" && rc=0 || rc=$?
check "a missing COM port exits 1 with Unable to open" '[ $rc -eq 1 ] && grep -q "^Unable to open COM99" "$work/none.err"'

echo "== vorn7730-cli.exe through a serial device server"
# Debian's ser2net serves the virtual controller raw and a second one as
# RFC 2217; the Windows tool lists each as the Linux tool does.
"$sim" --link "$work/netport" >"$work/netsim.out" 2>&1 &
netpids="$!"
for _ in $(seq 100); do [ -e "$work/netport" ] && break; sleep 0.05; done
free_port() { python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])'; }
raw="$(free_port)" tel="$(free_port)" closed="$(free_port)"
cat >"$work/ser2net.yaml" <<EOF
connection: &raw
  accepter: tcp,127.0.0.1,$raw
  connector: serialdev,$pty,57600n81,local
  options:
    chardelay: false
connection: &tel
  accepter: telnet(rfc2217),tcp,127.0.0.1,$tel
  connector: serialdev,$work/netport,57600n81,local
  options:
    chardelay: false
EOF
ser2net -n -d -c "$work/ser2net.yaml" >"$work/ser2net.out" 2>&1 &
netpids="$netpids $!"
sleep 1
for url in "socket://127.0.0.1:$raw" "rfc2217://127.0.0.1:$tel"; do
  wine "$cli_exe" --port "$url" ls </dev/null >"$work/net.out" 2>"$work/net.err" && rc=0 || rc=$?
  unix_lines "$work/net.out"
  "$linux_cli" --port "$url" ls >"$work/net.linux" 2>/dev/null || true
  check "ls through $url prints what the Linux tool prints" '[ $rc -eq 0 ] && cmp -s "$work/net.out.lf" "$work/net.linux"'
done
wine "$cli_exe" --port "socket://127.0.0.1:$closed" ls </dev/null >/dev/null 2>"$work/closed.err" && rc=0 || rc=$?
check "a refused connection names host and port" '[ $rc -eq 1 ] && grep -q "^Reason: cannot connect to 127.0.0.1 port $closed: " "$work/closed.err"'
for pid in $netpids; do kill "$pid" 2>/dev/null; wait "$pid" 2>/dev/null || true; done
netpids=""

echo "== The Windows package"
bash "$root/tools/package-windows.sh" "$win_build"
version="$(windows_version "$win_build")"
package="vorn7730-$version-windows-x64"
zip="$win_build/$package.zip"
setup="$win_build/$package-setup.exe"
check "the zip and the installer are named with version $version" '[ -f "$zip" ] && [ -f "$setup" ]'
mkdir -p "$work/unpacked"
unzip -q "$zip" -d "$work/unpacked"
check "the zip's README.txt names version $version" 'head -n1 "$work/unpacked/$package/README.txt" | grep -qF " $version "'

echo "== Under Wine on a virtual display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" </dev/null >/dev/null 2>&1 &
xpids="$!"
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.05; done
export DISPLAY=":$(cat "$work/display")"
openbox </dev/null >/dev/null 2>&1 &
xpids="$! $xpids"
echo "== Window tests on the windows platform"
# As on a desktop: the system's fonts and real windows, which offscreen lacks.
for exe in $(find "$win_build/tests" -name '*_tests.exe' | sort); do
  imports="$(x86_64-w64-mingw32-objdump -p "$exe")"
  grep -q "DLL Name: Qt6Widgets.dll" <<<"$imports" || continue
  name="$(basename "$exe" .exe)"
  (cd "$(dirname "$exe")" && WINEPATH="$test_winepath" wine "$exe" -platform windows \
    -o "$(winpath "$work/$name.txt"),txt" </dev/null >/dev/null 2>&1) && rc=0 || rc=$?
  check "$name ($(grep -o "[0-9]* passed" "$work/$name.txt"))" '[ $rc -eq 0 ]'
  [ $rc -eq 0 ] || grep -A2 "^FAIL" "$work/$name.txt" | sed 's/^/  /'
done

echo "== The installer"
# Where a silent install puts the program, its shortcut and its entry in the
# list of programs.
installed="$WINEPREFIX/drive_c/Program Files/VORN-7730 Series Utility"
shortcut="$WINEPREFIX/drive_c/ProgramData/Microsoft/Windows/Start Menu/Programs/VORN-7730 Series Utility/VORN-7730 Series Utility.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\vorn7730'
wine "$setup" /S </dev/null >/dev/null 2>&1 && rc=0 || rc=$?
check "setup.exe /S exits 0" '[ $rc -eq 0 ]'
check "it installs the zip's files and an uninstaller into Program Files" \
  'diff <(cd "$work/unpacked/$package" && find . -type f | sort) <(cd "$installed" && find . -type f ! -name Uninstall.exe | sort) && [ -f "$installed/Uninstall.exe" ]'
check "it makes a Start-menu shortcut" '[ -f "$shortcut" ]'
wine reg query "$uninstall_key" /v DisplayVersion </dev/null >"$work/key.out" 2>/dev/null || true
wine reg query "$uninstall_key" /v QuietUninstallString </dev/null >>"$work/key.out" 2>/dev/null || true
check "it is in the list of programs as version $version, with a silent uninstall" \
  'grep -q "DisplayVersion.*$version" "$work/key.out" && grep -q "QuietUninstallString.*Uninstall.exe\" /S" "$work/key.out"'
installed_version="$(wine "$installed/vorn7730-cli.exe" --version </dev/null 2>/dev/null | tr -d '\r')"
check "the installed vorn7730-cli.exe --version gives $version" '[ "$installed_version" = "vorn7730-cli $version" ]'
# Started from Program Files without WINEPATH: it must find every DLL and
# plugin in its own folder.
app="$installed"

echo "== The installed utility"
# The terminal pane's lines go to this file too.
transcript="$work/transcript.txt"
# The record goes to a folder whose name the ANSI code page may not spell.
mkdir -p "$work/Protokoll-ü-ł"
record="$work/Protokoll-ü-ł/vorn.log"
VORN7730_TRANSCRIPT="$(winpath "$transcript")" WINEDEBUG=err+module \
  wine "$app/vorn7730-utility.exe" --port COM5 --log "$(winpath "$record")" </dev/null >/dev/null 2>"$work/app.err" &
apppid=$!
xpids="$apppid $xpids"
# Waits until the window that has the focus bears this title.
focused() {
  for _ in $(seq $((${2:-60} * 5))); do
    [ "$(xdotool getactivewindow getwindowname 2>/dev/null)" = "$1" ] && return 0
    sleep 0.2
  done
  echo "   (no window \"$1\" within ${2:-60} s)"
  return 1
}
shot() { import -window root "$win_build/windows-$1.png" 2>/dev/null || true; }
# Where the buttons lie in the maximised window on this display.
click() { xdotool mousemove --sync "$1" "$2" click 1; }
refresh_button=(469 77)
image_button=(682 77)

focused "VORN-7730 Series Utility (Ver 1.38)" && sleep 2
check "the packaged utility starts with no missing DLL" '[ -n "$(xdotool search --name "^VORN-7730 Series Utility \(Ver")" ] && ! grep -q "not found" "$work/app.err"'
# --port COM5 comes first in the port box; the pane stays empty until the
# user refreshes it.
click "${refresh_button[@]}"
for _ in $(seq 300); do grep -q "bytes free" "$transcript" 2>/dev/null && break; sleep 0.1; done
sleep 1
shot main
check "the packaged utility lists D: through COM5" 'grep -q "Directory of D:" "$transcript" && grep -q "bytes free" "$transcript"'
check "and records it under a non-ASCII path given by --log" 'grep -q "Directory of D:" "$record"'

# A backup from the image tool: its button, Backup Image (after Help in the
# focus order), Yes, the file's name in the save dialog.
image="$work/backup.img"
click "${image_button[@]}"
focused "Talvenrik Image Kaprin" 30 && sleep 1 && xdotool key Tab space
focused "VORN-7730 Series Utility" 30 && sleep 1 && xdotool key y
focused "Save image" 30 && sleep 1
xdotool key Home shift+End && xdotool type --delay 20 "$(winpath "$image")" && xdotool key Return
focused "Message" 30 && sleep 5 && shot image-progress
# The end: the box that names the result, and the image in its place.
focused "VORN-7730 Series Utility" 180 && sleep 1
shot image-done
xdotool key Return
check "the packaged utility's backup finds KAPRINRD.EXE beside it and uploads it" 'grep -q "^D:.KAPRINRD" "$transcript"'
check "the backup image is the controller's drive D:" 'cmp -s "$image" "$work/drive.img"'
echo "   screenshots: $win_build/windows-main.png, windows-image-progress.png, windows-image-done.png"

echo "== The uninstaller"
kill "$apppid" 2>/dev/null || true
wait "$apppid" 2>/dev/null || true
# The uninstaller runs on from a copy of itself in the temporary folder and
# returns at once: the installation goes a moment later.
wine "$installed/Uninstall.exe" /S </dev/null >/dev/null 2>&1 && rc=0 || rc=$?
for _ in $(seq 120); do [ -e "$installed" ] || break; sleep 0.5; done
check "Uninstall.exe /S exits 0 and removes the program's folder" '[ $rc -eq 0 ] && [ ! -e "$installed" ]'
check "and the Start-menu shortcut" '[ ! -e "$shortcut" ] && [ ! -e "$(dirname "$shortcut")" ]'
check "and the entry in the list of programs" '! wine reg query "$uninstall_key" </dev/null >/dev/null 2>&1'

echo "== Windows check: $((SECONDS - started)) s"
exit $fail
