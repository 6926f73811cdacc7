# Makes the shipped copy of one binary: STRIPPED, without debug information and symbols, with a
# debug link to DEBUG_FILE, which keeps that information for symbolising a crash.
# cmake -DOBJCOPY=... -DBINARY=... -DSTRIPPED=... -DDEBUG_FILE=... -P split_debug.cmake
foreach(var OBJCOPY BINARY STRIPPED DEBUG_FILE)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "split_debug: ${var} is not set")
  endif()
endforeach()
get_filename_component(stripped_dir "${STRIPPED}" DIRECTORY)
get_filename_component(debug_dir "${DEBUG_FILE}" DIRECTORY)
file(MAKE_DIRECTORY "${stripped_dir}" "${debug_dir}")
execute_process(COMMAND "${OBJCOPY}" --only-keep-debug "${BINARY}" "${DEBUG_FILE}"
                COMMAND_ERROR_IS_FATAL ANY)
execute_process(COMMAND "${OBJCOPY}" --strip-all "--add-gnu-debuglink=${DEBUG_FILE}" "${BINARY}"
                        "${STRIPPED}"
                COMMAND_ERROR_IS_FATAL ANY)
