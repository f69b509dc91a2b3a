# Installing dinfo: the shared library (libdinfo.so.1 on Linux; dinfo.dll
# with its import library on Windows), the public headers, the CMake
# package dinfo::dinfo with its version file, and dinfo.pc. Everything is
# relocatable: the package and dinfo.pc find their prefix from where they
# lie. cpack packs the same as a Debian package (Linux) or a zip (Windows).
include(CMakePackageConfigHelpers)

set(DINFO_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/dinfo)

install(TARGETS dinfo EXPORT dinfoTargets
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES
  ${PROJECT_SOURCE_DIR}/include/dinfo/dinfo.h
  ${PROJECT_SOURCE_DIR}/include/dinfo/table.h
  ${DINFO_GENERATED_INCLUDE}/dinfo/version.h
  DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/dinfo)

install(EXPORT dinfoTargets NAMESPACE dinfo:: DESTINATION ${DINFO_CMAKE_DIR})
configure_package_config_file(${CMAKE_CURRENT_LIST_DIR}/dinfoConfig.cmake.in
  ${PROJECT_BINARY_DIR}/dinfoConfig.cmake INSTALL_DESTINATION ${DINFO_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/dinfoConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/dinfoConfig.cmake ${PROJECT_BINARY_DIR}/dinfoConfigVersion.cmake
  DESTINATION ${DINFO_CMAKE_DIR})

# dinfo.pc lies in <libdir>/pkgconfig and names the prefix relative to
# itself, so that an installation may be moved.
file(RELATIVE_PATH DINFO_PC_TO_PREFIX /${CMAKE_INSTALL_LIBDIR}/pkgconfig /)
string(REGEX REPLACE "/$" "" DINFO_PC_TO_PREFIX "${DINFO_PC_TO_PREFIX}")
configure_file(${CMAKE_CURRENT_LIST_DIR}/dinfo.pc.in ${PROJECT_BINARY_DIR}/dinfo.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/dinfo.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)

set(CPACK_PACKAGE_NAME dinfo)
set(CPACK_PACKAGE_VENDOR "dinfo")
set(CPACK_PACKAGE_CONTACT "dinfo developers")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "device-information queries over information files")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_DIRECTORY ${PROJECT_BINARY_DIR}/packages)
if(WIN32)
  set(CPACK_GENERATOR ZIP)
  set(CPACK_SYSTEM_NAME win64)
else()
  set(CPACK_GENERATOR DEB)
  set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
  set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
  set(CPACK_DEBIAN_PACKAGE_SECTION libs)
  find_program(DINFO_DPKG_SHLIBDEPS dpkg-shlibdeps)
  if(DINFO_DPKG_SHLIBDEPS)
    set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
  endif()
endif()
include(CPack)
