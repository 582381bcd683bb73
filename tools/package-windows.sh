#!/usr/bin/env bash
# Lays out the Windows package from a cross build with the windows
# (VORN_BUILD_GUI=ON) and zips it: the utility, the command line, every DLL
# they load that Windows does not bring (Qt's, the compiler's runtime), the
# windows platform and style plugins, the data files the utility uploads, and
# a README.txt for the user.
#
# usage: tools/package-windows.sh [WINDOWS_BUILD_DIR]
# Cross-builds the utility and the command line first (Qt for Windows as
# tools/windows-build.sh finds it) into WINDOWS_BUILD_DIR (default
# build-windows), and leaves WINDOWS_BUILD_DIR/vorn7730-windows-x64/ and
# WINDOWS_BUILD_DIR/vorn7730-windows-x64.zip. Normally started by
# "bash tools/setup.sh package-windows" or by tools/test-windows.sh.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
win_build="${1:-${VORN_WINDOWS_BUILD_DIR:-$root/build-windows}}"
# shellcheck source=windows-build.sh
. "$root/tools/windows-build.sh"
windows_qt
windows_configure "$win_build"
cmake --build "$win_build" -j "$(nproc)" --target vorn7730-utility vorn7730-cli
win_build="$(cd "$win_build" && pwd)"
name=vorn7730-windows-x64
stage="$win_build/$name"
zip="$win_build/$name.zip"
cxx=x86_64-w64-mingw32-g++-posix
objdump=x86_64-w64-mingw32-objdump

# Both are this script's own output of an earlier run.
rm -rf "$stage" "$zip"
mkdir -p "$stage/platforms" "$stage/styles"
cp "$win_build/src/app/vorn7730-utility.exe" "$win_build/src/app/vorn7730-cli.exe" "$stage/"
cp "$qt/plugins/platforms/qwindows.dll" "$stage/platforms/"
cp "$qt/plugins/styles/qwindowsvistastyle.dll" "$stage/styles/"
# The utility looks for its data in "data" beside it.
cp -r "$root/data" "$stage/data"

# Every DLL that a program or plugin imports and that lies in Qt's or the
# compiler's folders, and what those import in turn; the rest is Windows'.
search=("$qt/bin" "$(dirname "$($cxx -print-file-name=libstdc++-6.dll)")"
        "$(dirname "$(readlink -f "$($cxx -print-file-name=libwinpthread-1.dll)")")")
queue=("$stage"/*.exe "$stage"/platforms/*.dll "$stage"/styles/*.dll)
while ((${#queue[@]})); do
  file="${queue[0]}"
  queue=("${queue[@]:1}")
  while read -r dll; do
    [ -e "$stage/$dll" ] && continue
    for dir in "${search[@]}"; do
      found="$(find "$dir" -maxdepth 1 -iname "$dll" -print -quit)"
      if [ -n "$found" ]; then
        cp "$found" "$stage/$dll"
        queue+=("$stage/$dll")
        break
      fi
    done
  done < <($objdump -p "$file" | sed -n 's/^\s*DLL Name: //p')
done

# The builds keep debugging data in the programs and DLLs; a user does not
# need it.
find "$stage" -iname '*.exe' -o -iname '*.dll' | grep -v '/data/' | xargs -d '\n' x86_64-w64-mingw32-strip

# CR LF: the line ends every Windows editor shows as lines.
sed 's/$/\r/' >"$stage/README.txt" <<'EOF'
VORN-7730 Series Utility for Windows (64-bit)
=============================================

Start vorn7730-utility.exe from this folder; keep the folder together (the
DLLs, "platforms", "styles" and "data" belong to the program). Nothing needs
installing.

- Choose the controller's serial port (COM1 to COM255) in the box at the
  right of the controller toolbar; the first port found is selected at start.
  "vorn7730-utility.exe --port COM5" lists COM5 first and selects it.
- The image tool uploads KAPRINRD.EXE and KAPRINWR.EXE, and the system
  initialisation the default files, from the "data" folder here, unless the
  registry names a companion installation (the "Path" value of
  HKEY_LOCAL_MACHINE\Software\Microsoft\Windows\CurrentVersion\App Paths\Vorn7730.exe):
  then its "VORN-7730TCP-7730ETCP Utility\program" and "Source" folders are used.
- The programs and files in "data" are stand-ins for the virtual controller:
  on a real controller they do nothing, so the utility sends them only to a
  controller that names itself as the virtual one, and refuses backup,
  restore and Go otherwise (before anything on the controller changes). For
  a real controller install the companion installation, or choose the folder
  of the real files with "Controller programs folder..." in the image tool
  and "Default files folder..." in the network dialog (remembered), or give
  --tools DIR to backup/restore and --defaults DIR to init.
- The network settings files (SOCKET.CFG, SOCKET.UPW) are written to
  %LOCALAPPDATA%\vorn7730, the I/O configuration (V7730MIO.cfg) to Documents.
- The command line: "vorn7730-cli.exe --port COM5 exec dir" in a console
  runs one command on the controller and prints its answer
  ("vorn7730-cli.exe --help" lists the commands).
EOF

(cd "$win_build" && zip -qr "$zip" "$name")
echo "== Windows package: $zip ($(du -k "$zip" | cut -f1) KB)"
(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
