#!/usr/bin/env bash
# Makes the Debian package of the utility, the command line and the virtual
# controller with CPack, and checks that it holds what an installed copy needs:
# the programs in /usr/bin, the data in /usr/share/vorn7730, manual pages, the
# desktop entry with its icon and the command line's bash completion.
#
# usage: tools/package-linux.sh [BUILD_DIR]
# Builds the programs alone (no tests) in BUILD_DIR (default build-package)
# and leaves BUILD_DIR/vorn7730_VERSION_ARCH.deb. Normally started by
# "bash tools/setup.sh package-linux", which installs the packages it needs.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${1:-${VORN_PACKAGE_BUILD_DIR:-$root/build-package}}"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DVORN_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
build="$(cd "$build" && pwd)"
version="$(sed -n 's/^#define VORN7730_VERSION "\(.*\)"$/\1/p' "$build/generated/app/version.h")"
deb="$build/vorn7730_${version}_$(dpkg --print-architecture).deb"
# This script's own output of an earlier run.
rm -f "$deb"
(cd "$build" && cpack -G DEB >/dev/null)
[ -f "$deb" ] || { echo "CPack made no $deb" >&2; exit 1; }

fail=0
listing="$(dpkg-deb -c "$deb" | sed -E 's/^([^ ]+ +){5}//')"
for path in usr/bin/vorn7730-utility usr/bin/vorn7730-cli usr/bin/vorn7730-sim \
            usr/share/man/man1/vorn7730-utility.1.gz usr/share/man/man1/vorn7730-cli.1.gz \
            usr/share/man/man1/vorn7730-sim.1.gz usr/share/applications/vorn7730-utility.desktop \
            usr/share/icons/hicolor/scalable/apps/vorn7730-utility.svg \
            usr/share/icons/hicolor/48x48/apps/vorn7730-utility.png \
            usr/share/bash-completion/completions/vorn7730-cli \
            "usr/share/vorn7730/VORN-7730TCP-7730ETCP Utility/program/"; do
  grep -qxF "./$path" <<<"$listing" || { echo "missing in the package: /$path" >&2; fail=1; }
done
unpacked="$(mktemp -d)"
trap 'rm -rf "$unpacked"' EXIT
dpkg-deb -x "$deb" "$unpacked"
desktop-file-validate "$unpacked/usr/share/applications/vorn7730-utility.desktop" || fail=1
[ $fail -eq 0 ] || exit 1

echo "== Debian package: $deb ($(du -k "$deb" | cut -f1) KB)"
dpkg-deb -f "$deb" Package Version Depends
echo "Install it with: sudo apt install $deb"
