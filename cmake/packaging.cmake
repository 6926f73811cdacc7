# What ships: `cmake --install` of the Windows build, and CPack's two ZIPs of it.
#   bin/      tool.exe, Quorlin.dll and the runtime DLLs, stripped, each with a debug link
#   include/  quorlin.h and quorlin_c.h
#   lib/      libQuorlin.dll.a (mingw-w64) and Quorlin.lib (MSVC-style), and cmake/Quorlin/
#   share/doc/brevant-companions/  the integration notes and the licences of what is shipped
# The debug information goes to the component "debug" (bin/*.debug), which only the -debug ZIP
# holds. Binaries are signed at install time when COMPANIONS_SIGNING_PFX names a certificate
# (packaging/sign_binaries.cmake).
include(CMakePackageConfigHelpers)

set(dist_dir "${CMAKE_BINARY_DIR}/dist")
set(doc_dir "share/doc/brevant-companions")
find_program(LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-14 REQUIRED)
find_program(OSSLSIGNCODE osslsigncode)
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "the cross toolchain's objcopy was not found")
endif()

# Stripped copies in dist/bin, debug information in dist/debug.
set(shipped_binaries)
set(debug_files)
function(companions_ship_binary input name)
  set(out "${dist_dir}/bin/${name}")
  set(debug_out "${dist_dir}/debug/${name}.debug")
  add_custom_command(OUTPUT "${out}" "${debug_out}"
    COMMAND "${CMAKE_COMMAND}" -DOBJCOPY=${CMAKE_OBJCOPY} -DBINARY=${input} -DSTRIPPED=${out}
            -DDEBUG_FILE=${debug_out} -P "${PROJECT_SOURCE_DIR}/packaging/split_debug.cmake"
    DEPENDS "${input}" "${PROJECT_SOURCE_DIR}/packaging/split_debug.cmake"
    COMMENT "Stripping ${name}" VERBATIM)
  set(shipped_binaries ${shipped_binaries} "${out}" PARENT_SCOPE)
  set(debug_files ${debug_files} "${debug_out}" PARENT_SCOPE)
endfunction()

companions_ship_binary("$<TARGET_FILE:tool>" tool.exe)
companions_ship_binary("$<TARGET_FILE:Quorlin>" Quorlin.dll)
set(runtime_dll_names)
foreach(dll IN LISTS MINGW_RUNTIME_DLLS)
  get_filename_component(name "${dll}" NAME)
  list(APPEND runtime_dll_names "${name}")
  companions_ship_binary("${dll}" "${name}")
endforeach()

# The MSVC-style import library: the C interface only (an MSVC host cannot share libstdc++).
set(msvc_implib "${dist_dir}/lib/Quorlin.lib")
set(msvc_def "${PROJECT_SOURCE_DIR}/packaging/quorlin_c.def")
add_custom_command(OUTPUT "${msvc_implib}"
  COMMAND "${CMAKE_COMMAND}" -E make_directory "${dist_dir}/lib"
  COMMAND "${LLVM_DLLTOOL}" -m i386:x86-64 -D Quorlin.dll -d "${msvc_def}" -l "${msvc_implib}"
  DEPENDS Quorlin "${msvc_def}"
  COMMENT "Making the MSVC-style import library Quorlin.lib" VERBATIM)

add_custom_target(dist ALL DEPENDS ${shipped_binaries} ${debug_files} "${msvc_implib}")

# Quorlin's package configuration.
set(QUORLIN_RUNTIME_DLL_NAMES "${runtime_dll_names}")
string(REPLACE ";" " " QUORLIN_RUNTIME_DLL_NAMES "${QUORLIN_RUNTIME_DLL_NAMES}")
set(QUORLIN_GCC_VERSION "${CMAKE_CXX_COMPILER_VERSION}")
configure_file("${PROJECT_SOURCE_DIR}/packaging/QuorlinConfig.cmake.in"
               "${dist_dir}/cmake/QuorlinConfig.cmake" @ONLY)
write_basic_package_version_file("${dist_dir}/cmake/QuorlinConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)

# Licences of what the binaries carry: pugixml inside tool.exe; the GCC runtime (libstdc++,
# libgcc) and the mingw-w64 runtime (winpthreads, start-up code) in both binaries and the DLLs.
set(licences
  "${PUGIXML_DIR}/LICENSE.md|pugixml.txt"
  "/usr/share/doc/gcc-mingw-w64-x86-64-posix-runtime/copyright|gcc-runtime.txt"
  "/usr/share/common-licenses/GPL-3|GPL-3.txt"
  "/usr/share/doc/mingw-w64-x86-64-dev/copyright|mingw-w64-runtime.txt")
foreach(entry IN LISTS licences)
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 source)
  list(GET entry 1 target)
  if(NOT EXISTS "${source}")
    message(FATAL_ERROR "licence text ${source} not found: run scripts/setup.sh")
  endif()
  install(FILES "${source}" DESTINATION "${doc_dir}/licenses" RENAME "${target}" COMPONENT runtime)
endforeach()

install(PROGRAMS ${shipped_binaries} DESTINATION bin COMPONENT runtime)
install(CODE "
  set(SIGN_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  set(SIGN_FILES tool.exe Quorlin.dll)
  set(OSSLSIGNCODE \"${OSSLSIGNCODE}\")
  set(SIGN_DESCRIPTION \"${COMPANIONS_PRODUCT_NAME}\")
  include(\"${PROJECT_SOURCE_DIR}/packaging/sign_binaries.cmake\")
" COMPONENT runtime)
install(FILES quorlin/include/quorlin.h quorlin/include/quorlin_c.h DESTINATION include
        COMPONENT runtime)
install(FILES "$<TARGET_LINKER_FILE:Quorlin>" "${msvc_implib}" DESTINATION lib COMPONENT runtime)
install(FILES "${dist_dir}/cmake/QuorlinConfig.cmake" "${dist_dir}/cmake/QuorlinConfigVersion.cmake"
        DESTINATION lib/cmake/Quorlin COMPONENT runtime)
install(FILES docs/INTEGRATION.md packaging/THIRD_PARTY_NOTICES.txt
        DESTINATION "${doc_dir}" COMPONENT runtime)
install(FILES ${debug_files} DESTINATION bin COMPONENT debug EXCLUDE_FROM_ALL)

set(CPACK_PACKAGE_NAME "brevant-companions")
set(CPACK_PACKAGE_VENDOR "${COMPANIONS_COMPANY_NAME}")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-win64")
set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_DIRECTORY "${CMAKE_BINARY_DIR}/package")
set(CPACK_ARCHIVE_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime debug)
set(CPACK_ARCHIVE_RUNTIME_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}")
set(CPACK_ARCHIVE_DEBUG_FILE_NAME "${CPACK_PACKAGE_FILE_NAME}-debug")
include(CPack)
