# Starts or stops the Wine session of a test run (ACTION start or stop).
# A started wine server stays up between the test programs, with the Wine
# services it runs; they write to a log, never to the output of a test,
# which would hold that test open until they exit. An idle server leaves by
# itself after a minute should the stop never come.
set(wine_env ${CMAKE_COMMAND} -E env ${ENVIRONMENT})
execute_process(COMMAND ${wine_env} ${WINESERVER} -k
  OUTPUT_QUIET ERROR_QUIET TIMEOUT 30)
if(ACTION STREQUAL "stop")
  return()
endif()
execute_process(COMMAND ${wine_env} ${WINESERVER} -w TIMEOUT 30)
execute_process(COMMAND ${wine_env} ${WINESERVER} -p60
  OUTPUT_FILE ${LOG} ERROR_FILE ${LOG} RESULT_VARIABLE server_rc TIMEOUT 30)
execute_process(COMMAND ${wine_env} ${WINE} wineboot
  OUTPUT_FILE ${LOG} ERROR_FILE ${LOG} RESULT_VARIABLE boot_rc TIMEOUT 120)
if(NOT server_rc EQUAL 0 OR NOT boot_rc EQUAL 0)
  message(FATAL_ERROR "the Wine session did not start (${server_rc}, ${boot_rc}); see ${LOG}")
endif()
