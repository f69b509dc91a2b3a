# Lists the tests of the Windows test program (run once under Wine after it
# is linked) and writes one CTest entry a test into TESTS_FILE. An entry
# runs nothing under Wine: it reads its test's result from the XML report
# of the one run of the whole program (run_windows_suite.cmake).
# Wine's error messages stay on (WINEDEBUG=fixme-all) and are shown should
# the listing fail.
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} WINEDEBUG=fixme-all ${WINE} ${PROGRAM} --gtest_list_tests
  WORKING_DIRECTORY ${WORKING_DIRECTORY}
  OUTPUT_VARIABLE listing ERROR_VARIABLE wine_messages RESULT_VARIABLE rc TIMEOUT 300)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "listing the tests of ${PROGRAM} failed (${rc}):\n${listing}\n${wine_messages}")
endif()

# The listing names a suite at the start of a line ("Suite.") and its tests
# below it, indented; parameterised ones carry a comment after a '#'.
string(REPLACE "\r" "" listing "${listing}")
string(REPLACE ";" "\\;" listing "${listing}")
string(REPLACE "\n" ";" lines "${listing}")
set(entries "")
set(count 0)
foreach(line IN LISTS lines)
  if(line MATCHES "^([A-Za-z_0-9/]+)\\.")
    set(suite ${CMAKE_MATCH_1})
  elseif(line MATCHES "^  ([A-Za-z_0-9/]+)")
    set(test ${suite}.${CMAKE_MATCH_1})
    string(APPEND entries
      "add_test([=[${test}]=] \"${CMAKE_COMMAND}\" -DRESULTS=${RESULTS} [=[-DTEST=${test}]=]"
      " -P \"${CHECK_SCRIPT}\")\n"
      "set_tests_properties([=[${test}]=] PROPERTIES FIXTURES_REQUIRED windows_results"
      " SKIP_REGULAR_EXPRESSION \"was skipped by the program\" TIMEOUT 60)\n")
    math(EXPR count "${count} + 1")
  endif()
endforeach()
if(count EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} listed no tests:\n${listing}\n${wine_messages}")
endif()
file(WRITE ${TESTS_FILE} "${entries}")
