# The host-armel build runs the handheld's own files: where KVZ_HANDHELD_IMAGES
# names the bin folder of a wince build, pdaKVZ.dll and _pdaKVZ.dll are copied
# from there, CE ARM images that the POSIX layer's loader maps, instead of
# being built as ELF libraries from the same source.
set(KVZ_HANDHELD_IMAGES "" CACHE PATH
  "bin folder of a wince build whose pdaKVZ.dll and _pdaKVZ.dll this build runs")

# kvz_use_handheld_image(OUT_VAR target FILE_NAME name): when this build runs
# the handheld images, makes target the copy of that image into bin/ and sets
# OUT_VAR to TRUE; otherwise sets it to FALSE and the caller builds target.
function(kvz_use_handheld_image out_var target)
  cmake_parse_arguments(ARG "" "FILE_NAME" "" ${ARGN})
  if(NOT KVZ_HANDHELD_IMAGES)
    set(${out_var} FALSE PARENT_SCOPE)
    return()
  endif()
  set(_image "${KVZ_HANDHELD_IMAGES}/${ARG_FILE_NAME}")
  if(NOT EXISTS "${_image}")
    message(FATAL_ERROR "${_image} is missing: build the handheld images first\n"
      "  cmake --preset wince && cmake --build --preset wince")
  endif()
  add_custom_command(OUTPUT "${KVZ_BIN_DIR}/${ARG_FILE_NAME}"
    COMMAND ${CMAKE_COMMAND} -E copy "${_image}" "${KVZ_BIN_DIR}/${ARG_FILE_NAME}"
    DEPENDS "${_image}"
    COMMENT "The handheld image ${ARG_FILE_NAME} from ${KVZ_HANDHELD_IMAGES}")
  add_custom_target(${target} ALL DEPENDS "${KVZ_BIN_DIR}/${ARG_FILE_NAME}")
  set(${out_var} TRUE PARENT_SCOPE)
endfunction()
