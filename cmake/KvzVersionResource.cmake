# Version resources of the deliverables' PE files: file and product version
# (the project version), product name, file description and original file
# name, which Windows shows in a file's properties and GetFileVersionInfo
# reads. version.rc.in is configured per target; the mingw builds compile it
# into the file (CMake's RC language, windres), the handheld build compiles
# it to a machine-independent .res that kvz_ce_image places as the DLL's
# resource section (KvzCeImage.cmake). The ELF host builds have none, nor
# has the ARMv7 check build, whose DLL ships nowhere.
if(KVZ_CE_IMAGE)
  set(KVZ_VERSION_RESOURCE res)
elseif(WIN32 AND MINGW AND NOT KVZ_LINK_COREDLL)
  set(KVZ_VERSION_RESOURCE rc)
else()
  set(KVZ_VERSION_RESOURCE "")
endif()

# kvz_version_rc(out_var target FILE_NAME name DESCRIPTION text)
# Writes <target>_version.rc into the current binary folder and sets out_var
# to its path; out_var is empty where this build makes no version resource.
function(kvz_version_rc out_var target)
  cmake_parse_arguments(ARG "" "FILE_NAME;DESCRIPTION" "" ${ARGN})
  set(${out_var} "" PARENT_SCOPE)
  if(NOT KVZ_VERSION_RESOURCE)
    return()
  endif()
  if(NOT PROJECT_VERSION)
    message(FATAL_ERROR "${target}: a version resource needs project(... VERSION x.y.z)")
  endif()
  set(KVZ_RC_FILE_NAME "${ARG_FILE_NAME}")
  set(KVZ_RC_DESCRIPTION "${ARG_DESCRIPTION}")
  get_filename_component(KVZ_RC_STEM "${ARG_FILE_NAME}" NAME_WLE)
  set(KVZ_RC_PATCH 0)
  if(NOT PROJECT_VERSION_PATCH STREQUAL "")
    set(KVZ_RC_PATCH ${PROJECT_VERSION_PATCH})
  endif()
  set(KVZ_RC_FILE_TYPE 1) # VFT_APP
  if(ARG_FILE_NAME MATCHES "\\.[dD][lL][lL]$")
    set(KVZ_RC_FILE_TYPE 2) # VFT_DLL
  endif()
  set(_rc "${CMAKE_CURRENT_BINARY_DIR}/${target}_version.rc")
  configure_file("${CMAKE_CURRENT_FUNCTION_LIST_DIR}/version.rc.in" "${_rc}" @ONLY)
  set(${out_var} "${_rc}" PARENT_SCOPE)
endfunction()
