# A host built for the MSVC ABI without MSVC: Debian's clang targeting x86_64-pc-windows-msvc,
# linked by lld-link. There is no MSVC C runtime or Windows SDK here, so programs built with it use
# Win32 only, bring their own entry point (/entry:...) and take mingw-w64's headers and import
# libraries in place of the SDK's. Only plain C hosts of the C interface are built this way.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(CMAKE_C_COMPILER clang)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
# mingw-w64's headers expect a GNU compiler
set(CMAKE_C_FLAGS_INIT "-ffreestanding -fgnuc-version=4.2.1")
set(CMAKE_C_STANDARD_INCLUDE_DIRECTORIES /usr/share/mingw-w64/include)
set(CMAKE_EXE_LINKER_FLAGS_INIT "-fuse-ld=lld -nostdlib -Wl,/nodefaultlib")
set(CMAKE_C_STANDARD_LIBRARIES
    "/usr/x86_64-w64-mingw32/lib/libkernel32.a /usr/x86_64-w64-mingw32/lib/libuser32.a"
    CACHE STRING "the Win32 import libraries, mingw-w64's" FORCE)
# with no C runtime to link, CMake's compiler check can only build a static library
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_AR llvm-ar)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
