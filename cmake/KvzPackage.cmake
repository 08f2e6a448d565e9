# The release package kvzkit-<version>.zip (tools/package/make_package.py
# lays it out and makes it reproducible), made by the 32-bit desktop build:
#
#   cmake --build <win32 build> --target kvz_release_zip
#
# from its kvz_unpack.exe and the handheld's ARM pdaKVZ.dll of a wince build
# (KVZ_HANDHELD_PACKAGE_DIR), never the desktop builds' own x86 or x86-64
# proxy, which is a test vehicle and could be taken for it. tools/release
# builds both from scratch, makes the package and checks it. The package's
# desktop program stays 32-bit: the archive library users have is a 32-bit
# DLL. No other build makes a package; the reference archive library and the
# test fakes are never packaged.
if(NOT MINGW OR KVZ_LINK_COREDLL OR NOT CMAKE_SIZEOF_VOID_P EQUAL 4 OR NOT TARGET kvz_unpack)
  return()
endif()
set(KVZ_HANDHELD_PACKAGE_DIR "${PROJECT_SOURCE_DIR}/build/wince/bin" CACHE PATH
  "bin folder of the wince build whose pdaKVZ.dll the package ships")
find_program(KVZ_PYTHON3 python3 REQUIRED)
set(KVZ_RELEASE_DIR "${CMAKE_BINARY_DIR}" CACHE PATH "Folder the release package is written to")
set(KVZ_RELEASE_ZIP "${KVZ_RELEASE_DIR}/kvzkit-${PROJECT_VERSION}.zip")
# The handheld DLL is read when the command runs, so the wince build may come
# after this one. The package test runs the same command.
set(KVZ_RELEASE_ZIP_COMMAND "${KVZ_PYTHON3}" "${PROJECT_SOURCE_DIR}/tools/package/make_package.py"
  --version "${PROJECT_VERSION}" --source "${PROJECT_SOURCE_DIR}"
  --handheld-dll "${KVZ_HANDHELD_PACKAGE_DIR}/pdaKVZ.dll"
  --desktop-exe "$<TARGET_FILE:kvz_unpack>" --strip "${CMAKE_STRIP}" -o "${KVZ_RELEASE_ZIP}")
add_custom_target(kvz_release_zip ${KVZ_RELEASE_ZIP_COMMAND}
  DEPENDS kvz_unpack
  COMMENT "Making the release package ${KVZ_RELEASE_ZIP}"
  VERBATIM)
