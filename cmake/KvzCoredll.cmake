# The import library of coredll.dll, the handheld's system library, made from
# its export list. Linked alone and without default libraries, it makes every
# call or compiler helper that CE does not export an unresolved symbol.
set(KVZ_COREDLL_EXPORTS "${PROJECT_SOURCE_DIR}/../shared/handheld/coredll-exports.txt"
  CACHE FILEPATH "Export names of the handheld's coredll.dll, one a line")
if(NOT EXISTS "${KVZ_COREDLL_EXPORTS}")
  message(FATAL_ERROR "coredll.dll's export list is missing: ${KVZ_COREDLL_EXPORTS}\n"
    "Set KVZ_COREDLL_EXPORTS to the list of the handheld's system library.")
endif()

# The list as a module definition; comment lines start with "#".
set_property(DIRECTORY APPEND PROPERTY CMAKE_CONFIGURE_DEPENDS "${KVZ_COREDLL_EXPORTS}")
file(STRINGS "${KVZ_COREDLL_EXPORTS}" _kvz_coredll_lines)
set(_kvz_coredll_def "LIBRARY COREDLL.dll\nEXPORTS\n")
foreach(_line IN LISTS _kvz_coredll_lines)
  string(STRIP "${_line}" _line)
  if(_line AND NOT _line MATCHES "^#")
    string(APPEND _kvz_coredll_def "    ${_line}\n")
  endif()
endforeach()
set(_kvz_def "${CMAKE_CURRENT_BINARY_DIR}/coredll.def")
file(WRITE "${_kvz_def}.tmp" "${_kvz_coredll_def}")
file(COPY_FILE "${_kvz_def}.tmp" "${_kvz_def}" ONLY_IF_DIFFERENT)

set(_kvz_lib "${CMAKE_CURRENT_BINARY_DIR}/coredll.lib")
add_custom_command(OUTPUT "${_kvz_lib}"
  COMMAND "${KVZ_DLLTOOL}" -m arm -d "${_kvz_def}" -l "${_kvz_lib}" -D COREDLL.dll
  DEPENDS "${_kvz_def}"
  COMMENT "Import library of coredll.dll from its export list")
add_custom_target(kvz_coredll_lib DEPENDS "${_kvz_lib}")
add_library(kvz_coredll STATIC IMPORTED GLOBAL)
set_target_properties(kvz_coredll PROPERTIES IMPORTED_LOCATION "${_kvz_lib}")
add_dependencies(kvz_coredll kvz_coredll_lib)
