# What ships, and a second compiler for the consumer's C hosts: Debian's clang 14 targeting 64-bit
# Windows with mingw-w64's headers and libraries and mingw-w64 GCC 12's libstdc++ (posix threads,
# SEH), linked by lld. lld writes PDBs, which Windows debuggers read; GNU ld cannot.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(triple x86_64-w64-mingw32)
set(gcc_dir /usr/lib/gcc/${triple}/12-posix)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET ${triple})
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_CXX_COMPILER_TARGET ${triple})
# clang would take its own guess at a C++ library: GCC's, of the posix thread model, is the one
set(CMAKE_CXX_FLAGS_INIT "-nostdinc++ -pthread")
set(CMAKE_CXX_STANDARD_INCLUDE_DIRECTORIES
    ${gcc_dir}/include/c++ ${gcc_dir}/include/c++/${triple} ${gcc_dir}/include/c++/backward)
set(CMAKE_RC_COMPILER /usr/lib/llvm-14/bin/llvm-windres)
set(CMAKE_OBJCOPY /usr/lib/llvm-14/bin/llvm-objcopy)
set(CMAKE_FIND_ROOT_PATH /usr/${triple})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
# mingw-w64's start-up files, libgcc and libstdc++ live in GCC's folder for the posix thread model
# (the compile options that CMake repeats on the link line are not the linker's concern)
foreach(kind EXE SHARED MODULE)
  set(CMAKE_${kind}_LINKER_FLAGS_INIT "-fuse-ld=lld -pthread -L${gcc_dir} -Wno-unused-command-line-argument")
endforeach()
