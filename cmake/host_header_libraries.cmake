# CLI11 and nlohmann-json for a cross build. Both are header-only, so the
# host's copies (Debian's libcli11-dev and nlohmann-json3-dev, in
# /usr/include) serve any target. Only they are seen: a private folder of
# links to their two header folders, not the host's include folder with
# its other, host-only headers. Defines CLI11::CLI11 and
# nlohmann_json::nlohmann_json, and sets CLI11_FOUND and nlohmann_json_FOUND.
set(DINFO_HOST_INCLUDE_DIR /usr/include CACHE PATH "Where the host keeps CLI/ and nlohmann/")
set(DINFO_HOST_HEADER_LINKS ${CMAKE_BINARY_DIR}/host-headers)

foreach(library CLI11:CLI nlohmann_json:nlohmann)
  string(REPLACE ":" ";" parts ${library})
  list(GET parts 0 package)
  list(GET parts 1 folder)
  set(${package}_FOUND FALSE)
  if(EXISTS ${DINFO_HOST_INCLUDE_DIR}/${folder})
    file(MAKE_DIRECTORY ${DINFO_HOST_HEADER_LINKS})
    file(CREATE_LINK ${DINFO_HOST_INCLUDE_DIR}/${folder} ${DINFO_HOST_HEADER_LINKS}/${folder} SYMBOLIC)
    if(NOT TARGET ${package}::${package})
      add_library(${package}::${package} INTERFACE IMPORTED)
      set_target_properties(${package}::${package} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${DINFO_HOST_HEADER_LINKS})
    endif()
    set(${package}_FOUND TRUE)
  endif()
endforeach()
