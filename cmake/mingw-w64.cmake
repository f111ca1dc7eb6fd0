# Cross build for 64-bit Windows with Debian's mingw-w64 (posix threads).
# The programs link libgcc, libstdc++ and winpthread statically, so they need
# only Windows' own DLLs.  ctest runs them under wine through the launcher
# named as CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(VELA_MINGW_TRIPLE x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${VELA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${VELA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${VELA_MINGW_TRIPLE}-windres)

# Libraries and headers come from the mingw-w64 tree only; programs (the
# generators, the launcher) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${VELA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The host's pkg-config would report the Linux libraries (libnl and the
# rest) as if they were there for Windows: point it at an empty place.
set(ENV{PKG_CONFIG_LIBDIR} /usr/${VELA_MINGW_TRIPLE}/lib/pkgconfig)
set(ENV{PKG_CONFIG_PATH} "")

set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run)
