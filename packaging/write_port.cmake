# Writes the overlay port to install: the port's source (SOURCE, ports/quorlin) with the SHA512 of
# the two ZIPs it takes, into OUT.
#   cmake -DSOURCE=<ports/quorlin> -DOUT=<folder> -DRUNTIME_ZIP=<zip> -DDEBUG_ZIP=<zip>
#         -P write_port.cmake
foreach(var SOURCE OUT RUNTIME_ZIP DEBUG_ZIP)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "write_port: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE "${OUT}")
file(SHA512 "${RUNTIME_ZIP}" RUNTIME_SHA512)
file(SHA512 "${DEBUG_ZIP}" DEBUG_SHA512)
file(GLOB files "${SOURCE}/*")
foreach(f IN LISTS files)
  get_filename_component(name "${f}" NAME)
  if(name STREQUAL "portfile.cmake")
    configure_file("${f}" "${OUT}/${name}" @ONLY)
  else()
    file(COPY "${f}" DESTINATION "${OUT}")
  endif()
endforeach()
