# Sourced by the Windows scripts: finds or builds Qt for Windows and configures
# the cross build.
#   windows_qt           sets qt: VORN_QT_WINDOWS (built there by
#                        tools/build-qt-windows.sh when missing), else a ready
#                        copy in ../shared/qt6-mingw, else one built in
#                        ~/.cache/vorn7730/qt6-mingw (about 40 minutes)
#   windows_configure D  configures the cross build of everything in D
#   windows_version D    prints the project's version as configured in D
qt_version=6.4.2

windows_qt() {
  qt=""
  if [ -n "${VORN_QT_WINDOWS:-}" ]; then
    bash "$root/tools/build-qt-windows.sh" "$VORN_QT_WINDOWS"
    qt="$VORN_QT_WINDOWS"
    return
  fi
  # Beside the clone, or beside the folder of its worktrees.
  local shared
  for shared in "$root/../shared/qt6-mingw" "$root/../../shared/qt6-mingw"; do
    if grep -qs "PACKAGE_VERSION \"$qt_version\"" "$shared"/lib/cmake/Qt6/Qt6ConfigVersion*.cmake; then
      qt="$(cd "$shared" && pwd)"
      return
    fi
  done
  qt="$HOME/.cache/vorn7730/qt6-mingw"
  bash "$root/tools/build-qt-windows.sh" "$qt"
}

windows_configure() {
  cmake -S "$root" -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64-x86_64.cmake" -DVORN_BUILD_GUI=ON -DVORN_QT_WINDOWS="$qt" >/dev/null
}

windows_version() {
  sed -n 's/^#define VORN7730_VERSION "\(.*\)"$/\1/p' "$1/generated/app/version.h"
}
