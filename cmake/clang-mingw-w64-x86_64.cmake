# A second compiler for the C interface's consumers: Debian's clang targeting 64-bit Windows with
# mingw-w64's headers and libraries, linked by lld.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
set(CMAKE_RC_COMPILER x86_64-w64-mingw32-windres)
set(CMAKE_SYSROOT_LINK "")
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# mingw-w64's start-up files and libgcc live in GCC's folder for the posix thread model
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -L/usr/lib/gcc/${triple}/12-posix")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-fuse-ld=lld -L/usr/lib/gcc/${triple}/12-posix")
