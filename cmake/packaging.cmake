# What ships: `cmake --install` of the Windows build, and CPack's two ZIPs of it.
#   bin/      tool.exe, Quorlin.dll and its runtime DLLs, QuorlinC.dll (self-contained), stripped
#   include/  quorlin.h and quorlin_c.h
#   lib/      libQuorlin.dll.a (Quorlin.dll, every export), QuorlinC.lib (QuorlinC.dll, the C
#             interface; MSVC, clang-cl and mingw-w64 linkers read it)
#   share/quorlin/  the package configuration, where CMake and vcpkg both look for it
#   share/doc/brevant-companions/  the integration notes, the product's licence and those of what
#             is shipped
# The component "debug" (the -debug ZIP) holds bin/<binary>.pdb for our binaries, beside them once
# unpacked over the same folder, bin/<dll>.debug for the GCC-built runtime DLLs, and symbols/, a
# symbol store of the shipped images and our PDBs (packaging/symbol_store.cmake). Every shipped
# PE is signed at install time when COMPANIONS_SIGNING_PFX names a certificate
# (packaging/sign_binaries.cmake); a release build (COMPANIONS_RELEASE) requires one.
include(CMakePackageConfigHelpers)

set(dist_dir "${CMAKE_BINARY_DIR}/dist")
set(doc_dir "share/doc/brevant-companions")
set(config_dir "share/quorlin")
find_program(OSSLSIGNCODE osslsigncode)
# the runtime DLLs come from GCC with GNU debug sections that llvm-objcopy 14 cannot read
find_program(GNU_OBJCOPY x86_64-w64-mingw32-objcopy REQUIRED)
if(NOT CMAKE_OBJCOPY)
  message(FATAL_ERROR "llvm-objcopy was not found")
endif()

set(shipped_binaries)
set(debug_files)
# Our binaries: stripped of the DWARF that the C runtime's objects bring, which keeps the CodeView
# record that names the PDB; the PDB goes to the debug component beside it.
function(companions_ship_binary target name)
  get_filename_component(base "${name}" NAME_WE)
  set(out "${dist_dir}/bin/${name}")
  set(pdb "${dist_dir}/debug/${base}.pdb")
  add_custom_command(OUTPUT "${out}" "${pdb}"
    COMMAND "${CMAKE_COMMAND}" -E make_directory "${dist_dir}/bin" "${dist_dir}/debug"
    COMMAND "${CMAKE_OBJCOPY}" --strip-all "$<TARGET_FILE:${target}>" "${out}"
    COMMAND "${CMAKE_COMMAND}" -E copy "$<TARGET_FILE_DIR:${target}>/${base}.pdb" "${pdb}"
    DEPENDS ${target}
    COMMENT "Stripping ${name}" VERBATIM)
  set(shipped_binaries ${shipped_binaries} "${out}" PARENT_SCOPE)
  set(debug_files ${debug_files} "${pdb}" PARENT_SCOPE)
endfunction()
companions_ship_binary(tool tool.exe)
companions_ship_binary(Quorlin Quorlin.dll)
companions_ship_binary(QuorlinC QuorlinC.dll)

# The runtime DLLs of Quorlin.dll: stripped, their DWARF in <dll>.debug behind a debug link (gdb).
set(runtime_dll_names)
foreach(dll IN LISTS MINGW_RUNTIME_DLLS)
  get_filename_component(name "${dll}" NAME)
  list(APPEND runtime_dll_names "${name}")
  set(out "${dist_dir}/bin/${name}")
  set(debug_out "${dist_dir}/debug/${name}.debug")
  add_custom_command(OUTPUT "${out}" "${debug_out}"
    COMMAND "${CMAKE_COMMAND}" -DOBJCOPY=${GNU_OBJCOPY} -DBINARY=${dll} -DSTRIPPED=${out}
            -DDEBUG_FILE=${debug_out} -P "${PROJECT_SOURCE_DIR}/packaging/split_debug.cmake"
    DEPENDS "${dll}" "${PROJECT_SOURCE_DIR}/packaging/split_debug.cmake"
    COMMENT "Stripping ${name}" VERBATIM)
  list(APPEND shipped_binaries "${out}")
  list(APPEND debug_files "${debug_out}")
endforeach()

# The debug component's symbol store (symbols/), keyed by the shipped images and their PDBs.
get_filename_component(llvm_dir "${CMAKE_OBJCOPY}" DIRECTORY)
find_program(LLVM_READOBJ llvm-readobj HINTS "${llvm_dir}" REQUIRED)
find_program(LLVM_PDBUTIL llvm-pdbutil HINTS "${llvm_dir}" REQUIRED)
set(pdbs ${debug_files})
list(FILTER pdbs INCLUDE REGEX "[.]pdb$")
set(symbol_store "${dist_dir}/symbols")
add_custom_command(OUTPUT "${symbol_store}.stamp"
  COMMAND "${CMAKE_COMMAND}" "-DSTORE=${symbol_store}" "-DIMAGES=${shipped_binaries}"
          "-DPDBS=${pdbs}" "-DREADOBJ=${LLVM_READOBJ}" "-DPDBUTIL=${LLVM_PDBUTIL}"
          -P "${PROJECT_SOURCE_DIR}/packaging/symbol_store.cmake"
  COMMAND "${CMAKE_COMMAND}" -E touch "${symbol_store}.stamp"
  DEPENDS ${shipped_binaries} ${pdbs} "${PROJECT_SOURCE_DIR}/packaging/symbol_store.cmake"
  COMMENT "Laying out the symbol store" VERBATIM)

add_custom_target(dist ALL DEPENDS ${shipped_binaries} ${debug_files} "${symbol_store}.stamp")

# Quorlin's package configuration, relative to wherever the tree is unpacked or installed.
set(QUORLIN_RUNTIME_DLL_NAMES "${runtime_dll_names}")
string(REPLACE ";" " " QUORLIN_RUNTIME_DLL_NAMES "${QUORLIN_RUNTIME_DLL_NAMES}")
set(QUORLIN_COMPILER "clang ${CMAKE_CXX_COMPILER_VERSION}")
configure_package_config_file("${PROJECT_SOURCE_DIR}/packaging/QuorlinConfig.cmake.in"
  "${dist_dir}/cmake/QuorlinConfig.cmake" INSTALL_DESTINATION "${config_dir}")
write_basic_package_version_file("${dist_dir}/cmake/QuorlinConfigVersion.cmake"
  VERSION "${PROJECT_VERSION}" COMPATIBILITY SameMajorVersion)

# A release build (COMPANIONS_RELEASE set) ships signed binaries or nothing: it stops before a file
# is installed when no certificate is given.
install(CODE "
  if(\"\$ENV{COMPANIONS_SIGNING_PFX}\" STREQUAL \"\" AND \"\$ENV{COMPANIONS_RELEASE}\")
    message(FATAL_ERROR \"COMPANIONS_RELEASE is set and COMPANIONS_SIGNING_PFX is not: a release ships signed binaries only\")
  endif()
" COMPONENT runtime)
# Licences: the product's own, and those of what the binaries carry: pugixml inside tool.exe; the
# GCC runtime (libstdc++, libgcc) inside tool.exe and QuorlinC.dll and as the runtime DLLs; the
# mingw-w64 runtime (winpthreads, start-up code) in every binary.
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
set(sign_names tool.exe Quorlin.dll QuorlinC.dll ${runtime_dll_names})
install(CODE "
  set(SIGN_DIR \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/bin\")
  set(SIGN_FILES ${sign_names})
  set(OSSLSIGNCODE \"${OSSLSIGNCODE}\")
  set(SIGN_DESCRIPTION \"${COMPANIONS_PRODUCT_NAME}\")
  include(\"${PROJECT_SOURCE_DIR}/packaging/sign_binaries.cmake\")
" COMPONENT runtime)
install(FILES quorlin/include/quorlin.h quorlin/include/quorlin_c.h DESTINATION include
        COMPONENT runtime)
install(FILES "$<TARGET_LINKER_FILE:Quorlin>" "$<TARGET_LINKER_FILE:QuorlinC>" DESTINATION lib
        COMPONENT runtime)
install(FILES "${dist_dir}/cmake/QuorlinConfig.cmake" "${dist_dir}/cmake/QuorlinConfigVersion.cmake"
        DESTINATION "${config_dir}" COMPONENT runtime)
install(FILES docs/INTEGRATION.md packaging/THIRD_PARTY_NOTICES.txt DESTINATION "${doc_dir}"
        COMPONENT runtime)
install(FILES LICENSE DESTINATION "${doc_dir}" RENAME LICENSE.txt COMPONENT runtime)
install(FILES ${debug_files} DESTINATION bin COMPONENT debug EXCLUDE_FROM_ALL)
install(DIRECTORY "${symbol_store}/" DESTINATION symbols COMPONENT debug EXCLUDE_FROM_ALL)

# The NuGet package's own files, for scripts/package.sh to pack (packaging/nuget/make_nupkg.cmake).
set(NUGET_ID "Brevant.Quorlin")
configure_file("${PROJECT_SOURCE_DIR}/packaging/nuget/package.nuspec.in"
               "${dist_dir}/nuget/${NUGET_ID}.nuspec" @ONLY)
configure_file("${PROJECT_SOURCE_DIR}/packaging/nuget/package.targets"
               "${dist_dir}/nuget/${NUGET_ID}.targets" COPYONLY)

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
