# MSVC's command line without MSVC: clang-cl, lld-link, llvm-rc and llvm-mt from LLVM 14. With no
# Windows SDK or MSVC headers here, this proves that the project configures and generates through
# its MSVC branches; it builds nothing. The compiler checks can only compile (no SDK libraries to
# link against), hence the static-library try-compiles.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(llvm /usr/lib/llvm-14/bin)
set(CMAKE_C_COMPILER ${llvm}/clang-cl)
set(CMAKE_CXX_COMPILER ${llvm}/clang-cl)
set(CMAKE_C_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_CXX_COMPILER_TARGET x86_64-pc-windows-msvc)
set(CMAKE_LINKER ${llvm}/lld-link)
set(CMAKE_AR ${llvm}/llvm-lib)
set(CMAKE_RC_COMPILER ${llvm}/llvm-rc)
set(CMAKE_MT ${llvm}/llvm-mt)
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
