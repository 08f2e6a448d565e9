# Release packages: `cpack` in a build makes a ZIP of the kit's deliverables,
# named for the build's platform. The reference archive library and the test
# fakes are not part of the kit and are never packaged.
#
# The proxy users install is the handheld's: the PE builds' ZIP takes the ARM
# pdaKVZ.dll of a wince build (KVZ_HANDHELD_PACKAGE_DIR), never their own x86
# or x86-64 proxy, which is a test vehicle and could be taken for it. The
# handheld build itself makes no package.
if(KVZ_CE_IMAGE)
  return()
endif()
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 64-bit build is a test vehicle: its ZIP is checked, never released.
  set(_kvz_platform "win64-x64")
elseif(WIN32)
  set(_kvz_platform "win32-x86")
else()
  set(_kvz_platform "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
endif()
set(_kvz_dest ".")

if(WIN32)
  set(KVZ_HANDHELD_PACKAGE_DIR "${PROJECT_SOURCE_DIR}/build/wince/bin" CACHE PATH
    "bin folder of the wince build whose pdaKVZ.dll the package ships")
  set(_kvz_targets kvz_unpack)
  # Read when cpack runs, so the wince build may come after this one.
  install(FILES "${KVZ_HANDHELD_PACKAGE_DIR}/pdaKVZ.dll" DESTINATION ${_kvz_dest})
else()
  set(_kvz_targets kvz_unpack pdaKVZ kvz_platform)
endif()
foreach(_t IN LISTS _kvz_targets)
  if(TARGET ${_t})
    get_target_property(_type ${_t} TYPE)
    if(NOT _type STREQUAL "INTERFACE_LIBRARY" AND NOT _type STREQUAL "UTILITY")
      install(TARGETS ${_t} RUNTIME DESTINATION ${_kvz_dest} LIBRARY DESTINATION ${_kvz_dest})
    endif()
  endif()
endforeach()
install(FILES "${PROJECT_SOURCE_DIR}/proxy/sound_config.txt"
              "${PROJECT_SOURCE_DIR}/proxy/INSTALL.txt"
              "${PROJECT_SOURCE_DIR}/unpack/KVZ_UNPACK.txt"
        DESTINATION ${_kvz_dest} OPTIONAL)

set(CPACK_GENERATOR "ZIP")
set(CPACK_PACKAGE_NAME "kvzkit")
set(CPACK_PACKAGE_VERSION "1.0.0")
set(CPACK_PACKAGE_FILE_NAME "kvzkit-1.0.0-${_kvz_platform}")
set(CPACK_INCLUDE_TOPLEVEL_DIRECTORY OFF)
include(CPack)
