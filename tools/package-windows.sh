#!/usr/bin/env bash
# Lays out the Windows package from a cross build with the windows
# (VORN_BUILD_GUI=ON), zips it and makes an installer of it with NSIS: the
# utility, the command line, every DLL they load that Windows does not bring
# (Qt's, the compiler's runtime), the windows platform and style plugins, the
# data files the utility uploads, and a README.txt for the user.
#
# usage: tools/package-windows.sh [WINDOWS_BUILD_DIR]
# Cross-builds the utility and the command line first (Qt for Windows as
# tools/windows-build.sh finds it) into WINDOWS_BUILD_DIR (default
# build-windows), and leaves in it vorn7730-VERSION-windows-x64/, its .zip and
# vorn7730-VERSION-windows-x64-setup.exe (see packaging/windows/installer.nsi;
# /S installs silently). Normally started by
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
version="$(windows_version "$win_build")"
name="vorn7730-$version-windows-x64"
stage="$win_build/$name"
zip="$win_build/$name.zip"
setup="$win_build/$name-setup.exe"
cxx=x86_64-w64-mingw32-g++-posix
objdump=x86_64-w64-mingw32-objdump

# This script's own output of an earlier run.
rm -rf "$stage" "$zip" "$setup"
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
title="VORN-7730 Series Utility $version for Windows (64-bit)"
{ printf '%s\n%s\n\n' "$title" "${title//?/=}"; cat; } <<'EOF' | sed -e 's/$/\r/' -e "s/@VERSION@/$version/g" >"$stage/README.txt"
Installed with vorn7730-@VERSION@-windows-x64-setup.exe, the utility is in
Program Files and in the Start menu ("VORN-7730 Series Utility"), and is
removed under Settings > Apps (or Programs and Features). "setup.exe /S"
installs and "Uninstall.exe /S" in its folder removes it without questions.
Unpacked from vorn7730-@VERSION@-windows-x64.zip, start vorn7730-utility.exe
from its folder; keep the folder together (the DLLs, "platforms", "styles"
and "data" belong to the program).

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
  %LOCALAPPDATA%\vorn7730, the I/O configuration (V7730MIO.cfg) to Documents;
  uninstalling leaves them.
- The command line: "vorn7730-cli.exe --port COM5 exec dir" in a console
  runs one command on the controller and prints its answer
  ("vorn7730-cli.exe --help" lists the commands, "--version" the version).
EOF

(cd "$win_build" && zip -qr "$zip" "$name")

# The uninstaller removes exactly what was installed: each file, then each
# folder deepest first (RMDir leaves one that is not empty).
nsis_path() { local p="${1#./}"; p="${p//\$/\$\$}"; printf '"$INSTDIR\\%s"' "${p//\//\\}"; }
files_nsh="$win_build/$name-files.nsh"
{
  (cd "$stage" && find . -type f | sort) | while IFS= read -r f; do echo "Delete $(nsis_path "$f")"; done
  (cd "$stage" && find . -mindepth 1 -type d | sort -r) | while IFS= read -r d; do echo "RMDir $(nsis_path "$d")"; done
} >"$files_nsh"
version4="$version"
while [ "$(tr -cd . <<<"$version4" | wc -c)" -lt 3 ]; do version4="$version4.0"; done
makensis -V2 -DVERSION="$version" -DVERSION4="$version4" -DSTAGE="$stage" -DFILES="$files_nsh" \
  -DSIZE_KB="$(du -sk "$stage" | cut -f1)" -DICON="$root/packaging/windows/vorn7730-utility.ico" \
  -DOUTFILE="$setup" "$root/packaging/windows/installer.nsi"

echo "== Windows package: $zip ($(du -k "$zip" | cut -f1) KB)"
echo "== Windows installer: $setup ($(du -k "$setup" | cut -f1) KB)"
(cd "$stage" && find . -type f | sed 's|^\./||' | sort)
