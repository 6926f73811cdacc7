# companions_add_test(<name> SOURCES ... [LIBS ...] [ENVIRONMENT VAR=value...])
# One GoogleTest program per behaviour group. Natively it runs as it is (with the sanitizers of the
# native preset); in the Windows build it runs under Wine through the cross-compiling emulator.
function(companions_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;ENVIRONMENT" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gtest_main GTest::gmock project_warnings)
  if(WIN32)
    set(label wine)
  else()
    set(label native)
  endif()
  gtest_discover_tests(${name}
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    WORKING_DIRECTORY "${CMAKE_CURRENT_BINARY_DIR}"
    PROPERTIES LABELS ${label} ENVIRONMENT "${ARG_ENVIRONMENT}")
endfunction()
