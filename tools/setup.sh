#!/usr/bin/env bash
# Installs what the utility needs on a Debian machine, builds it, and then
# either starts it on the built-in virtual controller ("run"), runs the whole
# test suite ("test"), checks the Windows build under Wine against the virtual
# controller ("test-windows", see tools/test-windows.sh), or makes the Debian
# package ("package-linux", see tools/package-linux.sh) or the Windows zip and
# installer ("package-windows", see tools/package-windows.sh).
set -euo pipefail

mode="${1:-run}"
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${VORN_BUILD_DIR:-$root/build}"

# help2man, desktop-file-utils and bash-completion: the manual pages, and the
# test that checks an installed copy's desktop entry and completion.
packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-serialport-dev libgl-dev
          libgtest-dev libgmock-dev help2man desktop-file-utils bash-completion)
# The Debian package: CPack asks dpkg-shlibdeps (dpkg-dev) for the libraries
# the programs need, and file which files are programs.
linux_package_packages=(dpkg-dev file)
# The Windows build: the MinGW-w64 compiler with posix threads, GoogleTest's
# source, zip, NSIS for the installer. Its check: Wine, socat for a linked
# pair of ports, python3 to read the virtual controller's drive image, a
# virtual display with a window manager, key presses and screenshots for the
# packaged utility, and ser2net for the network ports.
# The suite: Debian's serial device server and python3 for the network port
# checks (a delaying proxy), ansible-core for the example playbook.
test_packages=(ser2net python3 ansible-core)
windows_packages=(g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev googletest zip nsis)
windows_test_packages=(wine wine64 socat python3 unzip xvfb openbox xdotool imagemagick ser2net)
install_missing() {  # extra apt-get options, then --, then packages
  local options=() missing=()
  while [ "$1" != "--" ]; do options+=("$1"); shift; done
  shift
  for p in "$@"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
  done
  ((${#missing[@]})) || return 0
  sudo=""
  [ "$(id -u)" -ne 0 ] && sudo="sudo"
  echo "Installing: ${missing[*]}"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq "${options[@]}" "${missing[@]}" >/dev/null
}
install_missing -- "${packages[@]}"
# Wine's recommended packages (fonts, media, a desktop) are not needed here.
case "$mode" in
  test) install_missing -- "${test_packages[@]}" ;;
  test-windows) install_missing --no-install-recommends -- "${windows_packages[@]}" "${windows_test_packages[@]}" ;;
  package-windows)
    install_missing --no-install-recommends -- "${windows_packages[@]}"
    exec bash "$root/tools/package-windows.sh"
    ;;
  package-linux)
    install_missing -- "${linux_package_packages[@]}"
    exec bash "$root/tools/package-linux.sh"
    ;;
esac

# Optimised, without debug information: a third faster to build on a small
# machine (configure a build of your own with RelWithDebInfo for a debugger).
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" >/dev/null
if [ "$mode" = test-windows ]; then
  # Only what runs on the Linux side: the virtual controller and the Linux
  # command line the Windows one is compared with.
  cmake --build "$build" -j "$(nproc)" --target vorn7730-sim vorn7730-cli
else
  cmake --build "$build" -j "$(nproc)"
fi

case "$mode" in
  run)
    exec "$build/src/app/vorn7730-utility" --simulate "${@:2}"
    ;;
  test)
    cd "$build"
    # Most tests wait on the line or on time-outs rather than compute: four
    # at once for each core.
    QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j "$(( $(nproc) * 4 ))" --timeout 300
    ;;
  test-windows)
    exec bash "$root/tools/test-windows.sh" "$build"
    ;;
  *)
    echo "usage: tools/setup.sh run|test|test-windows|package-linux|package-windows" >&2
    exit 2
    ;;
esac
