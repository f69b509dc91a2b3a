# Makes the Wine prefix of the test run: wineboot fills it, then the wine
# server is waited for so that the registry is on disk. Quiet (the output
# goes to a log beside the prefix) and bounded in time.
get_filename_component(prefix_parent "${READY}" DIRECTORY)
get_filename_component(log "${prefix_parent}/../wineprefix.log" ABSOLUTE)
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${WINE} wineboot --init
  OUTPUT_FILE ${log} ERROR_FILE ${log} RESULT_VARIABLE rc TIMEOUT 300)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "wineboot failed (${rc}); see ${log}")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${ENVIRONMENT} ${WINESERVER} -w TIMEOUT 120)
file(TOUCH ${READY})
