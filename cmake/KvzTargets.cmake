# Helpers shared by every folder: kit flags, sanitizers, DLLs that export by
# ordinal, and programs that keep their Windows file names.

set(KVZ_SANITIZE "" CACHE STRING "Sanitizers for the whole build (address;undefined or thread)")
if(KVZ_SANITIZE)
  list(JOIN KVZ_SANITIZE "," _kvz_san)
  add_compile_options(-fsanitize=${_kvz_san} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  add_link_options(-fsanitize=${_kvz_san})
endif()

# Release builds (tools/release) keep the build machine out of the files:
# source and build paths are mapped to fixed names in every file name the
# compiler records, and the mingw linker writes no time into the PE header.
option(KVZ_REPRODUCIBLE "Keep build paths and times out of the binaries" OFF)
if(KVZ_REPRODUCIBLE)
  add_compile_options("-ffile-prefix-map=${CMAKE_SOURCE_DIR}=."
                      "-ffile-prefix-map=${CMAKE_BINARY_DIR}=build") # the last match wins
  if(MINGW)
    add_link_options(LINKER:--no-insert-timestamp)
  endif()
endif()

# Flags of the kit's own targets: no warnings, no exceptions. -Wcast-align
# speaks only for CPUs that need aligned access, such as ARM.
function(kvz_kit_flags target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror -Wcast-align
    $<$<COMPILE_LANGUAGE:CXX>:-fno-exceptions>)
endfunction()

# Splits FILE_NAME ("pdaKVZ.dll", "kvz_unpack") into the properties that make
# the output carry exactly that name.
function(_kvz_set_file_name target file_name)
  if(WIN32)
    get_filename_component(_stem "${file_name}" NAME_WLE)
    get_filename_component(_ext "${file_name}" LAST_EXT)
    set_target_properties(${target} PROPERTIES PREFIX "" OUTPUT_NAME "${_stem}")
    if(_ext)
      set_target_properties(${target} PROPERTIES SUFFIX "${_ext}")
    endif()
  else()
    set_target_properties(${target} PROPERTIES PREFIX "" SUFFIX "" OUTPUT_NAME "${file_name}")
  endif()
endfunction()

# Writes the table "ordinal -> address" of a library from its .def file. ELF
# has no ordinals; the POSIX GetProcAddress reads this table, exported under
# the one symbol KvzOrdinalExports, and never falls back to names.
function(kvz_ordinal_table target def_file)
  set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${def_file}")
  file(STRINGS "${def_file}" _lines)
  set(_decls "")
  set(_rows "")
  foreach(_line IN LISTS _lines)
    if(_line MATCHES "^[ \t]*([A-Za-z_][A-Za-z0-9_]*)(@[0-9]+)?[ \t]+@([0-9]+)")
      string(APPEND _decls "extern void ${CMAKE_MATCH_1}(void);\n")
      string(APPEND _rows "    {${CMAKE_MATCH_3}u, ${CMAKE_MATCH_1}},\n")
    endif()
  endforeach()
  set(_out "${CMAKE_CURRENT_BINARY_DIR}/${target}_ordinals.c")
  file(WRITE "${_out}.tmp"
    "/* Generated from ${def_file}; do not edit. */\n"
    "#include \"platform/ordinal_table.h\"\n\n${_decls}\n"
    "KVZ_ORDINAL_TABLE_EXPORT const struct KvzOrdinalExport KvzOrdinalExports[] = {\n"
    "${_rows}    {0u, 0}\n};\n")
  file(COPY_FILE "${_out}.tmp" "${_out}" ONLY_IF_DIFFERENT)
  target_sources(${target} PRIVATE "${_out}")
endfunction()

if(KVZ_CE_IMAGE)
  include(KvzCeImage)
endif()
include(KvzVersionResource)

# kvz_add_dll(target FILE_NAME pdaKVZ.dll DEF file.def [KIT] [DESCRIPTION text] SOURCES ...)
# A shared library exporting by ordinal from its .def file, in every build.
# In the CE image build (KVZ_CE_IMAGE) target is the DLL's linked ELF image
# and bin/FILE_NAME is written from it (KvzCeImage.cmake). DESCRIPTION gives
# a deliverable its version resource (KvzVersionResource.cmake).
function(kvz_add_dll target)
  cmake_parse_arguments(ARG "KIT" "FILE_NAME;DEF;DESCRIPTION" "SOURCES" ${ARGN})
  set(_rc "")
  if(ARG_DESCRIPTION)
    kvz_version_rc(_rc ${target} FILE_NAME "${ARG_FILE_NAME}" DESCRIPTION "${ARG_DESCRIPTION}")
  endif()
  if(KVZ_CE_IMAGE)
    add_executable(${target} ${ARG_SOURCES})
    target_link_libraries(${target} PRIVATE kvz_platform kvz_archive_api)
    kvz_ce_link_dll(${target} FILE_NAME "${ARG_FILE_NAME}")
    kvz_ce_write_dll(${target} FILE_NAME "${ARG_FILE_NAME}" DEF "${ARG_DEF}" RC "${_rc}")
    if(ARG_KIT)
      kvz_kit_flags(${target})
    endif()
    return()
  endif()
  add_library(${target} SHARED ${ARG_SOURCES} ${_rc})
  _kvz_set_file_name(${target} "${ARG_FILE_NAME}")
  target_link_libraries(${target} PRIVATE kvz_platform kvz_archive_api)
  if(WIN32)
    # The import library is named for the target: the reference KVZ32.DLL and
    # the desktop fakes share a file name, and Ninja refuses two rules that
    # write one lib/libKVZ32.dll.a.
    set_target_properties(${target} PROPERTIES ARCHIVE_OUTPUT_NAME "${target}")
    target_sources(${target} PRIVATE "${ARG_DEF}")
    if(CMAKE_SYSTEM_PROCESSOR MATCHES "86")
      # Only x86 decorates __stdcall names; the .def names them undecorated.
      target_link_options(${target} PRIVATE -Wl,--enable-stdcall-fixup)
    endif()
  else()
    kvz_ordinal_table(${target} "${ARG_DEF}")
  endif()
  if(ARG_KIT)
    kvz_kit_flags(${target})
  endif()
endfunction()

# kvz_add_program(target FILE_NAME kvz_unpack [KIT] [DESCRIPTION text] SOURCES ...)
function(kvz_add_program target)
  cmake_parse_arguments(ARG "KIT" "FILE_NAME;DESCRIPTION" "SOURCES" ${ARGN})
  set(_rc "")
  if(ARG_DESCRIPTION)
    set(_exe "${ARG_FILE_NAME}")
    if(WIN32)
      string(APPEND _exe ".exe")
    endif()
    kvz_version_rc(_rc ${target} FILE_NAME "${_exe}" DESCRIPTION "${ARG_DESCRIPTION}")
  endif()
  add_executable(${target} ${ARG_SOURCES} ${_rc})
  _kvz_set_file_name(${target} "${ARG_FILE_NAME}")
  if(WIN32)
    set_target_properties(${target} PROPERTIES SUFFIX ".exe")
  endif()
  target_link_libraries(${target} PRIVATE kvz_platform kvz_archive_api)
  if(ARG_KIT)
    kvz_kit_flags(${target})
  endif()
endfunction()

# Wide literals are TEXT("..."), 16-bit in every build, as on Windows CE.
if(WIN32)
  add_compile_definitions(UNICODE _UNICODE)
endif()
