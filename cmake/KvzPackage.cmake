# Release packages: `cpack` in a build makes a ZIP of the kit's deliverables,
# named for the build's platform. The reference archive library and the test
# fakes are not part of the kit and are never packaged.
if(WIN32 AND CMAKE_SIZEOF_VOID_P EQUAL 8)
  # The 64-bit build is a test vehicle: its ZIP is checked, never released.
  set(_kvz_platform "win64-x64")
  set(_kvz_dest ".")
elseif(WIN32)
  set(_kvz_platform "win32-x86")
  set(_kvz_dest ".")
elseif(CMAKE_SYSTEM_NAME STREQUAL "WindowsCE")
  set(_kvz_platform "wince-arm")
  set(_kvz_dest ".")
else()
  set(_kvz_platform "${CMAKE_SYSTEM_NAME}-${CMAKE_SYSTEM_PROCESSOR}")
  set(_kvz_dest ".")
endif()

foreach(_t IN ITEMS kvz_unpack pdaKVZ kvz_platform)
  if(TARGET ${_t})
    get_target_property(_type ${_t} TYPE)
    if(NOT _type STREQUAL "INTERFACE_LIBRARY")
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
