# Runs the whole Windows test program in one Wine process and leaves its XML
# report in RESULTS for the per-test entries to read. This step passes when
# the program ran to its end, whatever its tests said; it fails, showing the
# program's output and Wine's own messages, when the program did not start,
# crashed, hung, or left no report that agrees with its exit code.
file(REMOVE ${RESULTS})
# Relative to the working folder: a Windows program reads "/work/..." as a
# path on its current drive.
file(RELATIVE_PATH results_path ${WORKING_DIRECTORY} ${RESULTS})
execute_process(
  COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} WINEDEBUG=fixme-all
          ${WINE} ${PROGRAM} --gtest_output=xml:${results_path}
  WORKING_DIRECTORY ${WORKING_DIRECTORY}
  OUTPUT_VARIABLE output ERROR_VARIABLE wine_messages RESULT_VARIABLE rc TIMEOUT 600)

function(fail_launch why)
  message(FATAL_ERROR "the Windows test program did not run to its end: ${why}\n"
    "exit: ${rc}\n--- its output:\n${output}\n--- standard error (Wine's messages):\n${wine_messages}")
endfunction()

if(NOT EXISTS ${RESULTS})
  fail_launch("it wrote no report")
endif()
file(READ ${RESULTS} report)
if(NOT report MATCHES "<testsuites tests=\"([0-9]+)\" failures=\"([0-9]+)\" disabled=\"[0-9]+\" errors=\"([0-9]+)\"")
  fail_launch("its report has no totals")
endif()
set(ran ${CMAKE_MATCH_1})
math(EXPR failed "${CMAKE_MATCH_2} + ${CMAKE_MATCH_3}")
# GoogleTest exits 0 when every test passed and 1 when some failed; any
# other exit, or one that disagrees with the report, is the program's or
# Wine's fault and not a test's.
if(NOT (rc STREQUAL "0" AND failed EQUAL 0) AND NOT (rc STREQUAL "1" AND failed GREATER 0))
  fail_launch("its exit does not match its report (${failed} failed)")
endif()
message(STATUS "${ran} tests ran in one Wine process, ${failed} failed")
