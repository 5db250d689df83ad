# Cross-compiles for 64-bit Windows with clang on Debian's MinGW-w64 runtime: the libstdc++ of the
# posix-thread GCC, the same linker and resource compiler, and Wine to run the results.
include(${CMAKE_CURRENT_LIST_DIR}/mingw-w64-x86_64.cmake)

set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET x86_64-w64-mingw32)
set(CMAKE_SYSROOT /usr/x86_64-w64-mingw32)

# clang looks for GCC's files under a version number and passes over Debian's "12-posix": name the
# newest such folder's C++ headers and libraries. Its thread model needs winpthreads: -pthread.
file(GLOB gcc_folders /usr/lib/gcc/x86_64-w64-mingw32/*-posix)
list(SORT gcc_folders COMPARE NATURAL ORDER DESCENDING)
list(GET gcc_folders 0 gcc)
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${gcc}/include/c++ ${gcc}/include/c++/x86_64-w64-mingw32 ${gcc}/include/c++/backward)
set(CMAKE_C_FLAGS_INIT "-pthread")
set(CMAKE_CXX_FLAGS_INIT "-pthread")
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -pthread -L${gcc} -fuse-ld=lld")
