# The licence, read from LICENSE at the top, the one place it is written:
#   DINFO_COPYRIGHT         "Copyright (c) 2026 The dinfo developers"
#   DINFO_COPYRIGHT_YEARS   "2026"
#   DINFO_COPYRIGHT_HOLDER  "The dinfo developers" (the version resources'
#                           CompanyName, cpack's vendor)
#   DINFO_LICENSE_TERMS     the lines after the copyright line (the
#                           permission notice and the disclaimer)
# The licence is MIT's, which Debian's copyright files call Expat.
set(DINFO_LICENSE_FILE ${PROJECT_SOURCE_DIR}/LICENSE)
set(DINFO_LICENSE_SHORT_NAME Expat)
file(STRINGS ${DINFO_LICENSE_FILE} license_lines)
set(DINFO_COPYRIGHT "")
set(DINFO_LICENSE_TERMS "")
foreach(line IN LISTS license_lines)
  if(DINFO_COPYRIGHT STREQUAL "")
    if(line MATCHES "^Copyright \\(c\\) ([0-9, -]+) (.+)$")
      set(DINFO_COPYRIGHT "${line}")
      set(DINFO_COPYRIGHT_YEARS "${CMAKE_MATCH_1}")
      set(DINFO_COPYRIGHT_HOLDER "${CMAKE_MATCH_2}")
    endif()
  elseif(NOT (line STREQUAL "" AND DINFO_LICENSE_TERMS STREQUAL ""))
    list(APPEND DINFO_LICENSE_TERMS "${line}")
  endif()
endforeach()
if(DINFO_COPYRIGHT STREQUAL "")
  message(FATAL_ERROR "LICENSE has no line \"Copyright (c) YEARS HOLDER\"")
endif()
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS ${DINFO_LICENSE_FILE})
