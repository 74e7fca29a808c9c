# Cross-building for 64-bit Windows with Debian's MinGW-w64 compilers (the
# POSIX thread model, which std::thread and std::mutex need). The executables
# are linked statically, so they run without any DLL beside them.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(MIRELLE_MINGW_PREFIX x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${MIRELLE_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${MIRELLE_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER ${MIRELLE_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${MIRELLE_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# The C and C++ runtimes and winpthread go into each executable.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")

# Test programs are run through Wine when CMake or CTest needs to run them.
find_program(MIRELLE_WINE NAMES wine64 wine PATHS /usr/lib/wine NO_CMAKE_FIND_ROOT_PATH)
if(MIRELLE_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${MIRELLE_WINE})
endif()
