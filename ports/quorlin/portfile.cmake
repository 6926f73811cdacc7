# An overlay port over the project's prebuilt package (the two ZIPs of scripts/package.sh, built
# by clang and lld for mingw-w64): what an MSVC-ABI host needs, in vcpkg's layout.
#   vcpkg install quorlin --overlay-ports=<repository>/ports
# with BREVANT_COMPANIONS_PACKAGE_DIR naming the folder that holds the ZIPs (pass it through with
# VCPKG_KEEP_ENV_VARS=BREVANT_COMPANIONS_PACKAGE_DIR).
vcpkg_check_linkage(ONLY_DYNAMIC_LIBRARY)
# one build of the binaries, which is what ships; there is no debug build of them
set(VCPKG_BUILD_TYPE release)
# the mingw-w64 binaries link msvcrt.dll, the C runtime that every Windows carries in system32
set(VCPKG_POLICY_ALLOW_OBSOLETE_MSVCRT enabled)

set(package_dir "$ENV{BREVANT_COMPANIONS_PACKAGE_DIR}")
if(package_dir STREQUAL "")
  message(FATAL_ERROR "Set BREVANT_COMPANIONS_PACKAGE_DIR to the folder of brevant-companions-${VERSION}-win64.zip and its -debug twin")
endif()
set(archive "${package_dir}/brevant-companions-${VERSION}-win64")
vcpkg_extract_source_archive(runtime ARCHIVE "${archive}.zip" NO_REMOVE_ONE_LEVEL)
vcpkg_extract_source_archive(debug ARCHIVE "${archive}-debug.zip" NO_REMOVE_ONE_LEVEL)

file(INSTALL "${runtime}/bin/QuorlinC.dll" "${debug}/bin/QuorlinC.pdb"
     DESTINATION "${CURRENT_PACKAGES_DIR}/bin")
file(INSTALL "${runtime}/lib/QuorlinC.lib" DESTINATION "${CURRENT_PACKAGES_DIR}/lib")
file(INSTALL "${runtime}/include/quorlin_c.h" DESTINATION "${CURRENT_PACKAGES_DIR}/include")
file(INSTALL "${runtime}/bin/tool.exe" "${debug}/bin/tool.pdb"
     DESTINATION "${CURRENT_PACKAGES_DIR}/tools/${PORT}")
# the package configuration lies in share/quorlin in the ZIP too, so it needs no fix-up
file(INSTALL "${runtime}/share/quorlin/QuorlinConfig.cmake"
     "${runtime}/share/quorlin/QuorlinConfigVersion.cmake"
     "${runtime}/share/doc/brevant-companions/INTEGRATION.md"
     "${CMAKE_CURRENT_LIST_DIR}/usage"
     DESTINATION "${CURRENT_PACKAGES_DIR}/share/${PORT}")
set(doc "${runtime}/share/doc/brevant-companions")
vcpkg_install_copyright(FILE_LIST "${doc}/LICENSE.txt" "${doc}/THIRD_PARTY_NOTICES.txt"
  "${doc}/licenses/pugixml.txt" "${doc}/licenses/gcc-runtime.txt" "${doc}/licenses/GPL-3.txt"
  "${doc}/licenses/mingw-w64-runtime.txt")
