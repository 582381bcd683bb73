# Cross build for 64-bit Windows with Debian's MinGW-w64 (posix threads, so
# std::thread and std::mutex work). The test programs run under Wine.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VORN_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VORN_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VORN_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${VORN_MINGW_PREFIX}-windres)

# VORN_QT_WINDOWS: a Qt 6 built for this target (tools/build-qt-windows.sh),
# searched like the compiler's own tree; Qt's build tools come from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VORN_MINGW_PREFIX} ${VORN_QT_WINDOWS})
if(VORN_QT_WINDOWS)
  set(QT_HOST_PATH /usr CACHE PATH "")
  set(QT_HOST_PATH_CMAKE_DIR /usr/lib/x86_64-linux-gnu/cmake CACHE PATH "")
endif()
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The compiler's own runtime (libstdc++, libgcc, winpthread) goes into each
# program, so the .exe files run without DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

find_program(VORN_WINE NAMES wine wine64)
if(VORN_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${VORN_WINE})
endif()
