# An overlay port over the project's prebuilt package (the two ZIPs of scripts/package.sh, built
# by clang and lld for mingw-w64): what an MSVC-ABI host needs, in vcpkg's layout. This is the
# port's source: scripts/package.sh writes the port to install, with the SHA512 of the ZIPs it
# made, beside them (build/windows/package/ports/quorlin):
#   vcpkg install quorlin --overlay-ports=<package folder>/ports
set(runtime_sha512 "@RUNTIME_SHA512@")
set(debug_sha512 "@DEBUG_SHA512@")
string(LENGTH "${runtime_sha512}${debug_sha512}" hashes_length)
if(NOT hashes_length EQUAL 256)
  message(FATAL_ERROR "${CMAKE_CURRENT_LIST_DIR} is the port's source; install the port that scripts/package.sh writes beside the ZIPs (<package folder>/ports), which names their SHA512")
endif()

vcpkg_check_linkage(ONLY_DYNAMIC_LIBRARY)
# the mingw-w64 binaries link msvcrt.dll, the C runtime that every Windows carries in system32
set(VCPKG_POLICY_ALLOW_OBSOLETE_MSVCRT enabled)

# the ZIPs lie two folders up, where scripts/package.sh wrote this port beside them
get_filename_component(package_dir "${CMAKE_CURRENT_LIST_DIR}/../.." ABSOLUTE)
if(NOT package_dir MATCHES "^/")
  set(package_dir "/${package_dir}")  # a drive letter: file:///C:/...
endif()
set(archive "brevant-companions-${VERSION}-win64")
string(SUBSTRING "${runtime_sha512}" 0 16 runtime_tag)
string(SUBSTRING "${debug_sha512}" 0 16 debug_tag)
# named by their hash too: a rebuild of the same version is another file in vcpkg's downloads
vcpkg_download_distfile(runtime_zip URLS "file://${package_dir}/${archive}.zip"
  FILENAME "${archive}-${runtime_tag}.zip" SHA512 "${runtime_sha512}")
vcpkg_download_distfile(debug_zip URLS "file://${package_dir}/${archive}-debug.zip"
  FILENAME "${archive}-debug-${debug_tag}.zip" SHA512 "${debug_sha512}")
vcpkg_extract_source_archive(runtime ARCHIVE "${runtime_zip}" NO_REMOVE_ONE_LEVEL)
vcpkg_extract_source_archive(debug ARCHIVE "${debug_zip}" NO_REMOVE_ONE_LEVEL)

# There is one build of the binaries, the one that ships: it serves a host's Debug configuration
# too (vcpkg's integration links debug/lib and deploys debug/bin there).
foreach(configuration release debug)
  if(VCPKG_BUILD_TYPE AND NOT VCPKG_BUILD_TYPE STREQUAL configuration)
    continue()  # a triplet of one build type
  endif()
  set(tree "${CURRENT_PACKAGES_DIR}")
  if(configuration STREQUAL "debug")
    string(APPEND tree "/debug")
  endif()
  file(INSTALL "${runtime}/bin/QuorlinC.dll" "${debug}/bin/QuorlinC.pdb" DESTINATION "${tree}/bin")
  file(INSTALL "${runtime}/lib/QuorlinC.lib" DESTINATION "${tree}/lib")
endforeach()
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
