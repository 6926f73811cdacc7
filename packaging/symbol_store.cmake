# Lays out STORE as a symbol store (the layout symstore.exe writes and SymSrv reads, flat):
#   <image>/<TimeDateStamp, 8 hex digits><SizeOfImage, hex>/<image>  for each of IMAGES
#   <pdb>/<GUID, 32 hex digits><age, hex>/<pdb>                       for each of PDBS
# Each key is read from the file itself, so it is the shipped image's (stripping changes
# SizeOfImage; signing changes neither field).
#   cmake -DSTORE=<folder> -DIMAGES=<a;b> -DPDBS=<a;b> -DREADOBJ=<llvm-readobj>
#         -DPDBUTIL=<llvm-pdbutil> -P symbol_store.cmake
foreach(var STORE IMAGES PDBS READOBJ PDBUTIL)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "symbol_store: ${var} is not set")
  endif()
endforeach()
file(REMOVE_RECURSE "${STORE}")

function(store file key)
  get_filename_component(name "${file}" NAME)
  file(COPY "${file}" DESTINATION "${STORE}/${name}/${key}")
endfunction()

foreach(image IN LISTS IMAGES)
  execute_process(COMMAND "${READOBJ}" --file-headers "${image}" OUTPUT_VARIABLE headers
                  COMMAND_ERROR_IS_FATAL ANY)
  if(NOT headers MATCHES "TimeDateStamp: [^\n]*\\(0x([0-9A-Fa-f]+)\\)")
    message(FATAL_ERROR "symbol_store: no TimeDateStamp in ${image}")
  endif()
  string(TOUPPER "00000000${CMAKE_MATCH_1}" stamp)
  string(LENGTH "${stamp}" length)
  math(EXPR start "${length} - 8")
  string(SUBSTRING "${stamp}" ${start} 8 stamp)
  if(NOT headers MATCHES "SizeOfImage: ([0-9]+)")
    message(FATAL_ERROR "symbol_store: no SizeOfImage in ${image}")
  endif()
  math(EXPR size "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" size "${size}")
  string(TOLOWER "${size}" size)
  store("${image}" "${stamp}${size}")
endforeach()

foreach(pdb IN LISTS PDBS)
  execute_process(COMMAND "${PDBUTIL}" dump -summary "${pdb}" OUTPUT_VARIABLE summary
                  COMMAND_ERROR_IS_FATAL ANY)
  if(NOT summary MATCHES "GUID: {([0-9A-Fa-f-]+)}")
    message(FATAL_ERROR "symbol_store: no GUID in ${pdb}")
  endif()
  string(REPLACE "-" "" guid "${CMAKE_MATCH_1}")
  string(TOUPPER "${guid}" guid)
  if(NOT summary MATCHES "Age: ([0-9]+)")
    message(FATAL_ERROR "symbol_store: no age in ${pdb}")
  endif()
  math(EXPR age "${CMAKE_MATCH_1}" OUTPUT_FORMAT HEXADECIMAL)
  string(REGEX REPLACE "^0x" "" age "${age}")
  string(TOUPPER "${age}" age)
  store("${pdb}" "${guid}${age}")
endforeach()
