# Packs the NuGet package of QuorlinC.dll from the unpacked ZIPs (runtime and debug over one folder),
# for C and C++ projects (build/native) and .NET ones (runtimes/win-x64/native):
#   cmake -DSTAGE=<unpacked package> -DNUGET_DIR=<build>/dist/nuget -DID=<id> -DVERSION=<version>
#         -DOUT_DIR=<folder for the .nupkg> -P make_nupkg.cmake
# A .nupkg is an OPC ZIP: the .nuspec at the top, [Content_Types].xml naming every file extension in
# it, and _rels/.rels pointing at the manifest. nuget.exe is not needed to make one.
foreach(var STAGE NUGET_DIR ID VERSION OUT_DIR)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "make_nupkg: ${var} is not set")
  endif()
endforeach()
set(tree "${OUT_DIR}/nupkg-tree")
set(native "${tree}/build/native")
file(REMOVE_RECURSE "${tree}")
set(doc "${STAGE}/share/doc/brevant-companions")
file(COPY "${NUGET_DIR}/${ID}.nuspec" "${doc}/LICENSE.txt" "${doc}/THIRD_PARTY_NOTICES.txt"
     "${doc}/licenses" "${doc}/INTEGRATION.md" DESTINATION "${tree}")
file(COPY "${NUGET_DIR}/${ID}.targets" DESTINATION "${native}")
configure_file("${CMAKE_CURRENT_LIST_DIR}/transitive.targets"
               "${tree}/buildTransitive/native/${ID}.targets" COPYONLY)
file(COPY "${STAGE}/include/quorlin_c.h" DESTINATION "${native}/include")
file(COPY "${STAGE}/lib/QuorlinC.lib" DESTINATION "${native}/lib/x64")
file(COPY "${STAGE}/bin/QuorlinC.dll" "${STAGE}/bin/QuorlinC.pdb" DESTINATION "${native}/bin/x64")
# where NuGet finds a native DLL for a .NET project (PackageReference) on 64-bit Windows
file(COPY "${STAGE}/bin/QuorlinC.dll" DESTINATION "${tree}/runtimes/win-x64/native")
file(COPY "${STAGE}/bin/tool.exe" "${STAGE}/bin/tool.pdb" DESTINATION "${tree}/tools")

file(GLOB_RECURSE files RELATIVE "${tree}" "${tree}/*")
set(extensions)
foreach(f IN LISTS files)
  get_filename_component(name "${f}" NAME)
  string(REGEX MATCH "[.][^.]+$" ext "${name}")
  string(SUBSTRING "${ext}" 1 -1 ext)
  list(APPEND extensions "${ext}")
endforeach()
list(APPEND extensions rels)
list(REMOVE_DUPLICATES extensions)
list(SORT extensions)
set(types "<?xml version=\"1.0\" encoding=\"utf-8\"?>\n")
string(APPEND types "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">\n")
foreach(ext IN LISTS extensions)
  if(ext STREQUAL "rels")
    set(type "application/vnd.openxmlformats-package.relationships+xml")
  else()
    set(type "application/octet")
  endif()
  string(APPEND types "  <Default Extension=\"${ext}\" ContentType=\"${type}\" />\n")
endforeach()
string(APPEND types "</Types>\n")
file(WRITE "${tree}/[Content_Types].xml" "${types}")
file(WRITE "${tree}/_rels/.rels" "<?xml version=\"1.0\" encoding=\"utf-8\"?>
<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">
  <Relationship Type=\"http://schemas.microsoft.com/packaging/2010/07/manifest\" Target=\"/${ID}.nuspec\" Id=\"R1\" />
</Relationships>
")

set(nupkg "${OUT_DIR}/${ID}.${VERSION}.nupkg")
file(REMOVE "${nupkg}")
# files only: NuGet's own packages hold no folder entries
file(GLOB_RECURSE entries RELATIVE "${tree}" "${tree}/*")
execute_process(COMMAND "${CMAKE_COMMAND}" -E tar cf "${nupkg}" --format=zip ${entries}
                WORKING_DIRECTORY "${tree}" COMMAND_ERROR_IS_FATAL ANY)
file(REMOVE_RECURSE "${tree}")
message(STATUS "NuGet package: ${nupkg}")
