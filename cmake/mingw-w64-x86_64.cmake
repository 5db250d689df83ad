# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (posix threads) and runs the results
# under Wine, so that plain ctest runs the Windows test programs.
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

# Every program carries its own runtime: nothing from MinGW needs to be found at run time.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")

# Windows programs run under Wine through scripts/wine, which keeps its prefix in the build folder
# (made by the first program run there, unless scripts/common.sh made it first).
set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine ${CMAKE_BINARY_DIR})
