#!/usr/bin/env bash
# Builds Qt 6 for 64-bit Windows with MinGW-w64 (posix threads) from Debian's
# own qt6-base source package, against Debian's host Qt tools of the same
# version: Core, Gui, Widgets, Test, the windows and offscreen platform plugins
# and the windowsvista style. Debian's source leaves out the tablet headers, so
# tablet events are off. The DLLs load the compiler's runtime DLLs
# (libstdc++, libgcc, winpthread); the Windows package puts them beside them.
#
# usage: tools/build-qt-windows.sh [PREFIX]
#   PREFIX defaults to $VORN_QT_WINDOWS, else ~/.cache/vorn7730/qt6-mingw.
# Does nothing when PREFIX already holds a complete copy. Takes about
# 40 minutes on 2 cores; the source and build tree stay in PREFIX-work
# ($QT_WORK) until the copy is complete.
set -euo pipefail

version=6.4.2
prefix="${1:-${VORN_QT_WINDOWS:-$HOME/.cache/vorn7730/qt6-mingw}}"
work="${QT_WORK:-$prefix-work}"

# The last file the install writes; with it the copy is complete.
complete() {
  grep -qs "PACKAGE_VERSION \"$version\"" "$1/lib/cmake/Qt6/Qt6ConfigVersionImpl.cmake" &&
    [ -f "$1/plugins/platforms/qwindows.dll" ] && [ -f "$1/bin/Qt6Widgets.dll" ]
}
if complete "$prefix"; then
  echo "Qt $version for Windows: $prefix"
  exit 0
fi

# A read-only copy (such as a shared ready one) is never built into, not even
# by root, who could write there anyway.
for folder in "$prefix" "$(dirname "$prefix")"; do
  if [ -e "$folder" ] && [ -z "$(find "$folder" -maxdepth 0 -perm /222)" ]; then
    echo "$folder is read-only and holds no complete Qt $version: name another prefix" >&2
    exit 1
  fi
done

sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
mkdir -p "$work"
cd "$work"

# The source comes from the suite this machine runs; add its deb-src entry
# when there is none.
if ! grep -rqsE '^(Types: .*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/; then
  # shellcheck disable=SC1091
  suite="$(. /etc/os-release && echo "$VERSION_CODENAME")"
  $sudo tee /etc/apt/sources.list.d/vorn7730-debsrc.sources >/dev/null <<EOF
Types: deb-src
URIs: http://deb.debian.org/debian
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
  $sudo apt-get update -qq
fi
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev qt6-base-dev qt6-base-dev-tools cmake ninja-build \
  dpkg-dev >/dev/null

[ -d qtbase ] || {
  ls qt6-base_*.orig.tar.xz >/dev/null 2>&1 || apt-get source --download-only qt6-base >/dev/null
  mkdir qtbase.part && tar -xf qt6-base_*.orig.tar.xz -C qtbase.part --strip-components=1
  mv qtbase.part qtbase
}

cat > toolchain.cmake <<'EOF'
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(CMAKE_C_COMPILER x86_64-w64-mingw32-gcc-posix)
set(CMAKE_CXX_COMPILER x86_64-w64-mingw32-g++-posix)
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_FIND_ROOT_PATH /usr/x86_64-w64-mingw32)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
EOF

echo "Building Qt $version for Windows into $prefix (about 40 minutes on 2 cores)"
cmake -S qtbase -B build -G Ninja \
  -DCMAKE_TOOLCHAIN_FILE="$work/toolchain.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX="$prefix" \
  -DQT_HOST_PATH=/usr -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake \
  -DQT_QMAKE_TARGET_MKSPEC=win32-g++ -DBUILD_SHARED_LIBS=ON \
  -DQT_BUILD_EXAMPLES=OFF -DQT_BUILD_TESTS=OFF -DQT_BUILD_BENCHMARKS=OFF \
  -DFEATURE_sql=OFF -DFEATURE_network=OFF -DFEATURE_dbus=OFF \
  -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF -DFEATURE_xml=OFF \
  -DFEATURE_vulkan=OFF -DFEATURE_sql_sqlite=OFF -DFEATURE_system_zlib=OFF \
  -DFEATURE_system_pcre2=OFF -DFEATURE_system_freetype=OFF -DFEATURE_system_harfbuzz=OFF \
  -DFEATURE_system_libpng=OFF -DFEATURE_system_libjpeg=OFF -DFEATURE_system_doubleconversion=OFF \
  -DFEATURE_icu=OFF -DFEATURE_zstd=OFF -DFEATURE_brotli=OFF \
  -DFEATURE_tabletevent=OFF -DFEATURE_opengl=ON \
  > configure.log 2>&1 || { tail -n 40 configure.log; exit 1; }
cmake --build build -j "${VORN_JOBS:-$(nproc)}" > build.log 2>&1 || { tail -n 40 build.log; exit 1; }
cmake --install build > install.log 2>&1
complete "$prefix" || { echo "the install of Qt in $prefix is incomplete (see $work/install.log)" >&2; exit 1; }
cd /
rm -rf "$work"
du -sh "$prefix"
