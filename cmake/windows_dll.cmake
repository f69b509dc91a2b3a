# The Windows DLL: dinfo.dll, freestanding. It starts at DllMain (no C
# runtime start-up), links no C or C++ runtime, and imports from
# KERNEL32.dll alone. Its six exports carry fixed ordinals (dinfo.def).
set(DINFO_DEF_FILE ${CMAKE_CURRENT_SOURCE_DIR}/src/interface/dinfo.def)

# The library's own memcpy, memmove, memset and strlen, and the block moves
# and fills behind them, must not be rewritten into calls to themselves; no
# stack protector, which would need the runtime's canary.
set_source_files_properties(${CMAKE_CURRENT_SOURCE_DIR}/src/platform/windows_builtins.cpp
  ${CMAKE_CURRENT_SOURCE_DIR}/src/platform/windows_block_ops.cpp
  TARGET_DIRECTORY dinfo_objects
  PROPERTIES COMPILE_OPTIONS "-fno-tree-loop-distribute-patterns")
foreach(objects dinfo_objects dinfo_platform_objects)
  target_compile_options(${objects} PRIVATE -fno-stack-protector)
endforeach()

# Programs and the DLL share one folder, where Windows looks for a DLL first.
# Programs carry the C++ runtime inside, so that they run without MinGW's
# DLLs beside them.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
string(APPEND CMAKE_EXE_LINKER_FLAGS " -static")

# dinfo_add_version_resource(target APP|DLL description file-name): the
# file and product version from project(), the company and the copyright
# from LICENSE (cmake/licence.cmake).
function(dinfo_add_version_resource target type description file_name)
  set(DINFO_RC_FILE_TYPE VFT_${type})
  set(DINFO_RC_DESCRIPTION "${description}")
  set(DINFO_RC_FILE_NAME ${file_name})
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${PROJECT_BINARY_DIR}/${target}_version.rc @ONLY)
  target_sources(${target} PRIVATE ${PROJECT_BINARY_DIR}/${target}_version.rc)
endfunction()

target_sources(dinfo PRIVATE ${DINFO_DEF_FILE})
dinfo_add_version_resource(dinfo DLL "dinfo device-information library" dinfo.dll)
set_target_properties(dinfo PROPERTIES
  PREFIX ""
  OUTPUT_NAME dinfo
  RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin
  LINK_DEPENDS ${DINFO_DEF_FILE})
# -nostdlib drops the start-up objects and every default library; libgcc
# stays for the stack probe of frames above a page.
target_link_options(dinfo PRIVATE -nostdlib -Wl,--entry,DllMain -Wl,--no-undefined)
target_link_libraries(dinfo PRIVATE kernel32 gcc)

# 64-bit Windows keeps the stack 16-byte aligned and GCC cannot realign it
# for 32-byte spills in the 256-bit paths: aligned vector moves are encoded
# as unaligned ones, which cost the same on aligned data.
target_compile_options(dinfo_objects PRIVATE -Wa,-muse-unaligned-vector-move)

# An import library in the MSVC format, made from the same .def, for
# callers that link with Microsoft's tools (lib/dinfo.lib in the zip).
# llvm-dlltool writes the short import members those tools expect;
# without it, binutils' dlltool writes an import library they also read.
find_program(DINFO_LLVM_DLLTOOL NAMES llvm-dlltool llvm-dlltool-16 llvm-dlltool-15 llvm-dlltool-14)
set(DINFO_MSVC_IMPORT_LIBRARY ${CMAKE_BINARY_DIR}/dinfo.lib)
if(DINFO_LLVM_DLLTOOL)
  set(dlltool_command ${DINFO_LLVM_DLLTOOL} -m i386:x86-64 -D dinfo.dll -d ${DINFO_DEF_FILE} -l ${DINFO_MSVC_IMPORT_LIBRARY})
else()
  find_program(DINFO_DLLTOOL NAMES ${DINFO_MINGW_TRIPLE}-dlltool dlltool REQUIRED)
  set(dlltool_command ${DINFO_DLLTOOL} -m i386:x86-64 -D dinfo.dll -d ${DINFO_DEF_FILE} -l ${DINFO_MSVC_IMPORT_LIBRARY})
endif()
add_custom_command(OUTPUT ${DINFO_MSVC_IMPORT_LIBRARY}
  COMMAND ${dlltool_command}
  DEPENDS ${DINFO_DEF_FILE}
  COMMENT "Making the MSVC import library dinfo.lib"
  VERBATIM)
if(DINFO_INSTALL)
  add_custom_target(dinfo_msvc_import_library ALL DEPENDS ${DINFO_MSVC_IMPORT_LIBRARY})
else()
  add_custom_target(dinfo_msvc_import_library DEPENDS ${DINFO_MSVC_IMPORT_LIBRARY})
endif()
