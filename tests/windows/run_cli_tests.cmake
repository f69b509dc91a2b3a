# Runs the tool's tests, a Linux program (PROGRAM), against the Windows tool
# (TOOL, run under WINE with ENVIRONMENT): the program runs each case's
# commands through DINFO_CLI_WINDOWS_COMMAND. FILTER picks the cases.
if(NOT EXISTS "${PROGRAM}")
  message(STATUS "the tool's tests are not built at ${PROGRAM}: build the debug preset first")
  return()
endif()
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} "DINFO_CLI_WINDOWS_COMMAND='${WINE}' '${TOOL}'"
          ${PROGRAM} --gtest_filter=${FILTER} --gtest_brief=1
  OUTPUT_VARIABLE output ERROR_VARIABLE errors RESULT_VARIABLE rc TIMEOUT 900)
if(NOT rc STREQUAL "0")
  message(FATAL_ERROR "the tool's tests failed against ${TOOL} (${rc}):\n${output}\n${errors}")
endif()
string(REGEX MATCH "[0-9]+ tests? from [0-9]+ test suites? ran[^\n]*" summary "${output}")
message(STATUS "dinfo.exe: ${summary}")
