# Installing dinfo: the shared library (libdinfo.so.1 on Linux; dinfo.dll
# with its import libraries on Windows), the public headers, the CMake
# package dinfo::dinfo with its version file, dinfo.pc, the documents, and
# the tool when it is built. Everything is relocatable: the package and
# dinfo.pc find their prefix from where they lie.
#
# Three components, which are the three Debian packages cpack makes on
# Linux: runtime (libdinfo1), development (libdinfo-dev) and tool (dinfo).
# On Windows cpack makes one zip of all three.
include(CMakePackageConfigHelpers)

set(DINFO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dinfo)

# Compressed at install time, with gzip's highest level and no time stamp.
function(dinfo_install_gzipped source destination component)
  get_filename_component(name ${source} NAME)
  install(CODE "
    set(target \"\$ENV{DESTDIR}\${CMAKE_INSTALL_PREFIX}/${destination}\")
    file(MAKE_DIRECTORY \"\${target}\")
    execute_process(COMMAND gzip -9nc \"${source}\" OUTPUT_FILE \"\${target}/${name}.gz\" RESULT_VARIABLE rc)
    if(NOT rc EQUAL 0)
      message(FATAL_ERROR \"gzip failed on ${source}\")
    endif()" COMPONENT ${component})
endfunction()

set(DINFO_RUNTIME_PACKAGE libdinfo${PROJECT_VERSION_MAJOR})
set(DINFO_DEVELOPMENT_PACKAGE libdinfo-dev)
set(DINFO_TOOL_PACKAGE dinfo)
if(WIN32)
  set(DINFO_DOC_DIR doc)
  set(DINFO_DEVELOPMENT_DOC_DIR doc)
  set(DINFO_TOOL_DOC_DIR doc)
else()
  # Each Debian package keeps its documents in a folder of its own name.
  set(DINFO_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${DINFO_RUNTIME_PACKAGE})
  set(DINFO_DEVELOPMENT_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${DINFO_DEVELOPMENT_PACKAGE})
  set(DINFO_TOOL_DOC_DIR ${CMAKE_INSTALL_DATADIR}/doc/${DINFO_TOOL_PACKAGE})
endif()

install(TARGETS dinfo EXPORT dinfoTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT runtime
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT runtime NAMELINK_COMPONENT development
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
install(FILES
  ${PROJECT_SOURCE_DIR}/include/dinfo/dinfo.h
  ${PROJECT_SOURCE_DIR}/include/dinfo/table.h
  ${DINFO_GENERATED_INCLUDE}/dinfo/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dinfo COMPONENT development)
if(WIN32)
  # For Microsoft's tools: the import library dinfo.lib and the .def it is
  # made from, which names the six exports with their ordinals.
  install(FILES ${DINFO_MSVC_IMPORT_LIBRARY} ${DINFO_DEF_FILE}
    DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT development)
endif()

install(EXPORT dinfoTargets NAMESPACE dinfo:: DESTINATION ${DINFO_CMAKE_DIR} COMPONENT development)
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dinfoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/dinfoConfig.cmake INSTALL_DESTINATION ${DINFO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dinfoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/dinfoConfig.cmake ${PROJECT_BINARY_DIR}/dinfoConfigVersion.cmake
  DESTINATION ${DINFO_CMAKE_DIR} COMPONENT development)

# dinfo.pc lies in <libdir>/pkgconfig and names the prefix relative to
# itself, so that an installation may be moved.
file(RELATIVE_PATH DINFO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" DINFO_PC_TO_PREFIX "${DINFO_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/dinfo.pc.in ${PROJECT_BINARY_DIR}/dinfo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dinfo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig COMPONENT development)

# The documents: the table format and the status codes for programmers,
# the commands and the JSON description format for the tool's users.
install(FILES ${PROJECT_SOURCE_DIR}/docs/TABLE_FORMAT.md ${PROJECT_SOURCE_DIR}/docs/STATUS_CODES.md
  DESTINATION ${DINFO_DEVELOPMENT_DOC_DIR} COMPONENT development)
install(FILES ${PROJECT_SOURCE_DIR}/tools/cli/README.md RENAME COMMANDS.md
  DESTINATION ${DINFO_TOOL_DOC_DIR} COMPONENT tool)
if(NOT WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/STATUS_CODES.md DESTINATION ${DINFO_TOOL_DOC_DIR} COMPONENT tool)
endif()
# The Windows kit's own top: README.txt (docs/README-Windows.md, how to
# use the kit on Windows), LICENSE and CHANGELOG.md. The Debian packages
# carry the licence in their copyright files (cmake/debian_packages.cmake).
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/docs/README-Windows.md RENAME README.txt DESTINATION . COMPONENT runtime)
  install(FILES ${DINFO_LICENSE_FILE} ${PROJECT_SOURCE_DIR}/CHANGELOG.md DESTINATION . COMPONENT runtime)
endif()

# The tool, and outside Windows its manual page (compressed, as man pages
# are installed on Linux).
if(TARGET dinfo_cli)
  install(TARGETS dinfo_cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT tool)
  if(NOT WIN32)
    dinfo_install_gzipped(${PROJECT_SOURCE_DIR}/docs/dinfo.1 ${CMAKE_INSTALL_MANDIR}/man1 tool)
  endif()
endif()

# The Windows kit's examples/: the C sample, a CMake project that builds it,
# the JSON description of the sample file and the file itself, which
# dinfo.exe writes (under Wine when cross-built).
if(WIN32)
  install(FILES ${PROJECT_SOURCE_DIR}/examples/sample.c ${PROJECT_SOURCE_DIR}/examples/CMakeLists.txt
    ${PROJECT_SOURCE_DIR}/examples/sample.json DESTINATION examples COMPONENT development)
  if(TARGET dinfo_cli AND (CMAKE_CROSSCOMPILING_EMULATOR OR NOT CMAKE_CROSSCOMPILING))
    set(DINFO_SAMPLE_FILE ${PROJECT_BINARY_DIR}/examples/sample.dat)
    add_custom_command(OUTPUT ${DINFO_SAMPLE_FILE}
      COMMAND ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:dinfo_cli> build
              ${PROJECT_SOURCE_DIR}/examples/sample.json -o ${DINFO_SAMPLE_FILE} --force
      DEPENDS dinfo_cli ${PROJECT_SOURCE_DIR}/examples/sample.json
      COMMENT "Writing the sample information file examples/sample.dat with dinfo.exe"
      VERBATIM)
    add_custom_target(dinfo_example_sample ALL DEPENDS ${DINFO_SAMPLE_FILE})
    install(FILES ${DINFO_SAMPLE_FILE} DESTINATION examples COMPONENT development)
  else()
    message(WARNING "dinfo.exe cannot be run here: the kit's examples/ goes without sample.dat")
  endif()
endif()

set(CPACK_PACKAGE_NAME dinfo)
set(CPACK_PACKAGE_VENDOR "${DINFO_COPYRIGHT_HOLDER}")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
set(CPACK_STRIP_FILES ON)
if(WIN32)
  set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "device-information queries over information files")
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  include(${CMAKE_CURRENT_LIST_DIR}/debian_packages.cmake)
endif()
include(CPack)
