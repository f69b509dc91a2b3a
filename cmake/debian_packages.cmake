# The Debian packages cpack makes on Linux, one a component:
#   libdinfo1     the shared library, with a shlibs file
#   libdinfo-dev  headers, the .so link, the CMake package, dinfo.pc and the
#                 table format and status code documents
#   dinfo         the tool, its manual page and its documents
# Each carries its copyright file (with the licence), its changelog and
# CHANGELOG.md in /usr/share/doc/<package>, binaries stripped, manual page
# and changelog compressed, as lintian asks. Install under /usr.
set(DINFO_PACKAGE_MAINTAINER "dinfo developers <dinfo@example.org>"
  CACHE STRING "The Maintainer of the Debian packages: a name and an address")

# The copyright file: the copyright line and the licence's terms from
# LICENSE (cmake/licence.cmake), an empty line written as " .".
set(DINFO_LICENSE_TEXT "")
foreach(line IN LISTS DINFO_LICENSE_TERMS)
  if(line STREQUAL "")
    set(line ".")
  endif()
  string(APPEND DINFO_LICENSE_TEXT " ${line}\n")
endforeach()
configure_file(${CMAKE_CURRENT_LIST_DIR}/debian/copyright.in ${PROJECT_BINARY_DIR}/debian/copyright @ONLY)

foreach(component runtime development tool)
  string(TOUPPER ${component} upper)
  set(package ${DINFO_${upper}_PACKAGE})
  install(FILES ${PROJECT_BINARY_DIR}/debian/copyright
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
  # A native package's changelog is changelog.gz; CHANGELOG.md says what
  # changed for the library's and the tool's users.
  dinfo_install_gzipped(${CMAKE_CURRENT_LIST_DIR}/debian/changelog ${CMAKE_INSTALL_DATADIR}/doc/${package} ${component})
  install(FILES ${PROJECT_SOURCE_DIR}/CHANGELOG.md
    DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL runtime development tool)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${DINFO_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_DEBIAN_PACKAGE_SOURCE dinfo)
find_program(DINFO_DPKG_SHLIBDEPS dpkg-shlibdeps)
if(DINFO_DPKG_SHLIBDEPS)
  set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
endif()

# Each description: the synopsis, then the extended description; CPack
# indents the lines and marks the empty ones.
set(about "dinfo answers device-information queries for scanner software from
information files: a file's format type, its main lists of named entries
and integer triplets, category values chosen by a selector and conditions,
and self-describing table objects, which it unscrambles, expands and
restores.")

set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS_POLICY ">=")

set(CPACK_DEBIAN_RUNTIME_PACKAGE_NAME ${DINFO_RUNTIME_PACKAGE})
set(CPACK_DEBIAN_RUNTIME_PACKAGE_SECTION libs)
set(CPACK_DEBIAN_RUNTIME_DESCRIPTION "device-information queries over information files
${about}

This package holds the shared library.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME ${DINFO_DEVELOPMENT_PACKAGE})
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_COMPONENT_DEVELOPMENT_DEPENDS runtime)
set(CPACK_DEBIAN_ENABLE_COMPONENT_DEPENDS ON)
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "device-information queries over information files (development files)
${about}

This package holds the C headers (the six functions, their status codes
and a reader of table objects), the CMake package, the pkg-config file and
the descriptions of the table format and the status codes.")

set(CPACK_DEBIAN_TOOL_PACKAGE_NAME ${DINFO_TOOL_PACKAGE})
set(CPACK_DEBIAN_TOOL_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_TOOL_DESCRIPTION "query, inspect and build dinfo information files
${about}

This package holds the dinfo command-line tool: it asks a file what each
function of the library answers, shows the file's structure and its
problems, draws tables, and builds files from a JSON description.")

# CPack calls ldconfig from the library package's maintainer scripts, where
# Debian now asks for its trigger: the package is rewritten once made.
set(CPACK_POST_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/debian/use_ldconfig_trigger.cmake)
set(CPACK_DINFO_RUNTIME_PACKAGE ${DINFO_RUNTIME_PACKAGE})
