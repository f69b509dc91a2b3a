# Reads dinfo.dll's import and export tables with objdump -p: KERNEL32.dll
# must be the only DLL it imports from, and the exports must be exactly the
# six names at their fixed ordinals.
execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -p failed on ${LIBRARY}")
endif()

string(REGEX MATCHALL "DLL Name: [^\n]+" dll_lines "${dump}")
list(REMOVE_DUPLICATES dll_lines)
if(NOT dll_lines STREQUAL "DLL Name: KERNEL32.dll")
  message(FATAL_ERROR "imports from: ${dll_lines}\nexpected: KERNEL32.dll alone")
endif()

if(NOT dump MATCHES "Ordinal Base[ \t]+([0-9]+)")
  message(FATAL_ERROR "no export table in ${LIBRARY}")
endif()
set(base ${CMAKE_MATCH_1})
# objdump lists each name with its index into the address table.
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)+" names "${dump}")
string(REGEX MATCHALL "\\[ *[0-9]+\\] [A-Za-z0-9_@?]+" entries "${names}")
set(exports "")
foreach(entry IN LISTS entries)
  string(REGEX MATCH "\\[ *([0-9]+)\\] (.+)" ignored "${entry}")
  math(EXPR ordinal "${CMAKE_MATCH_1} + ${base}")
  list(APPEND exports "${ordinal} ${CMAKE_MATCH_2}")
endforeach()
list(SORT exports)
string(REGEX MATCH "Export Address Table -- Ordinal Base [0-9]+\n([^\n]+\n)+" slots "${dump}")
string(REGEX MATCHALL "\\+base\\[ *[0-9]+\\]" slot_entries "${slots}")
list(LENGTH slot_entries slot_count)

set(expected "2 DIGetTableFormatType" "3 DIGetMainInfo" "4 DIGetCategoryInfoV"
             "5 DIGetCategoryInfoS" "6 DIGetTable" "7 DIFreeTable")
if(NOT exports STREQUAL expected OR NOT slot_count EQUAL 6)
  message(FATAL_ERROR "exports (${slot_count} address slots): ${exports}\nexpected: ${expected}")
endif()
message(STATUS "imports: KERNEL32.dll; exports: ${exports}")
