# The shared runtime DLLs of the cross toolchain. Quorlin.dll and its hosts share one C++ runtime
# (std::function and std::string cross the library boundary), so these are copied beside them.
set(MINGW_RUNTIME_DLLS)
# Debian keeps them in the cross toolchain's folders; MSYS2 beside the compiler
get_filename_component(compiler_dir "${CMAKE_CXX_COMPILER}" DIRECTORY)
foreach(dll libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
  execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=${dll}
                  OUTPUT_VARIABLE dll_path OUTPUT_STRIP_TRAILING_WHITESPACE)
  if(NOT IS_ABSOLUTE "${dll_path}" OR NOT EXISTS "${dll_path}")
    find_file(dll_path_found ${dll} PATHS /usr/x86_64-w64-mingw32/lib /usr/lib/gcc/x86_64-w64-mingw32/12-posix
                                     "${compiler_dir}"
              NO_DEFAULT_PATH NO_CMAKE_FIND_ROOT_PATH)
    set(dll_path "${dll_path_found}")
    unset(dll_path_found CACHE)
  endif()
  if(NOT EXISTS "${dll_path}")
    message(FATAL_ERROR "mingw runtime ${dll} not found")
  endif()
  list(APPEND MINGW_RUNTIME_DLLS "${dll_path}")
endforeach()
file(MAKE_DIRECTORY "${CMAKE_BINARY_DIR}/bin")
file(COPY ${MINGW_RUNTIME_DLLS} DESTINATION "${CMAKE_BINARY_DIR}/bin")
