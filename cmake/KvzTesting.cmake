# Test helpers. Host tests link Debian's GoogleTest; the cross builds (win32,
# win64, host-arm32) compile the same GoogleTest (and GoogleMock) from Debian's
# sources with their own compiler, and their test programs run through the
# toolchain's CMAKE_CROSSCOMPILING_EMULATOR (tools/wine-run, tools/qemu-run).
include(GoogleTest)

# The Wine flavour that runs this build's PE files, read from the cache by
# tools/wine-flavour: 64-bit programs need 64-bit Wine.
if(WIN32)
  if(CMAKE_SIZEOF_VOID_P EQUAL 8)
    set(KVZ_WINEARCH win64 CACHE INTERNAL "Wine flavour of the PE tests")
  else()
    set(KVZ_WINEARCH win32 CACHE INTERNAL "Wine flavour of the PE tests")
  endif()
endif()

# What starts a program of this build from a test or scenario: empty when the
# machine runs it directly. Under Wine the scenarios have a mode of their own.
if(CMAKE_CROSSCOMPILING AND NOT WIN32)
  set(KVZ_EMULATOR "${CMAKE_CROSSCOMPILING_EMULATOR}")
else()
  set(KVZ_EMULATOR "")
endif()

if(NOT TARGET kvz_gtest_main)
  if(CMAKE_CROSSCOMPILING)
    set(KVZ_GTEST_SOURCE_DIR "/usr/src/googletest" CACHE PATH "GoogleTest sources")
    set(_gt "${KVZ_GTEST_SOURCE_DIR}/googletest")
    set(_gm "${KVZ_GTEST_SOURCE_DIR}/googlemock")
    add_library(kvz_gtest_main STATIC
      "${_gt}/src/gtest-all.cc"
      "${_gm}/src/gmock-all.cc"
      "${_gt}/src/gtest_main.cc")
    target_include_directories(kvz_gtest_main SYSTEM PUBLIC "${_gt}/include" "${_gm}/include"
      PRIVATE "${_gt}" "${_gm}")
  else()
    find_package(GTest REQUIRED)
    add_library(kvz_gtest_main INTERFACE)
    target_link_libraries(kvz_gtest_main INTERFACE GTest::gtest_main GTest::gmock)
  endif()
endif()

# kvz_add_gtest(target SOURCES ... [LIBS ...] [WORKING_DIRECTORY dir] [LABELS ...]
#               [PROPERTIES name value ...])
# A GoogleTest program in bin/, its cases registered with CTest as
# "<target>.<Suite>.<Case>", discovered when the tests run (under Wine in the
# win32 build). Tests run in bin/ unless WORKING_DIRECTORY says otherwise and
# see KVZ_BIN_DIR and KVZ_SOURCE_DIR in their environment (POSIX paths; under
# Wine such a path still names the file, on drive Z:). LABELS tags every case
# (e.g. "tsan": tools/test runs those in the host-tsan build). PROPERTIES are
# further CTest properties for every case (e.g. FIXTURES_REQUIRED name).
function(kvz_add_gtest target)
  cmake_parse_arguments(ARG "" "WORKING_DIRECTORY" "SOURCES;LIBS;LABELS;PROPERTIES" ${ARGN})
  if(NOT ARG_WORKING_DIRECTORY)
    set(ARG_WORKING_DIRECTORY "${KVZ_BIN_DIR}")
  endif()
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE kvz_gtest_main kvz_platform kvz_archive_api ${ARG_LIBS})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  _kvz_test_environment()
  set(_properties "")
  if(ARG_LABELS)
    set(_properties LABELS "${ARG_LABELS}")
  endif()
  # The discovery script flattens this list: every value must be one entry.
  list(PREPEND _properties ${ARG_PROPERTIES})
  gtest_discover_tests(${target}
    TEST_PREFIX "${target}."
    WORKING_DIRECTORY "${ARG_WORKING_DIRECTORY}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 120
    PROPERTIES ${_properties})
endfunction()

# KVZ_BIN_DIR, KVZ_SOURCE_DIR and KVZ_EMULATOR for every test of the folder.
# Set in CTest's own environment by a test include file: a two-variable
# ENVIRONMENT property does not survive gtest_discover_tests' list handling.
function(_kvz_test_environment)
  set(_file "${CMAKE_CURRENT_BINARY_DIR}/kvz_test_environment.cmake")
  file(WRITE "${_file}" "set(ENV{KVZ_BIN_DIR} [==[${KVZ_BIN_DIR}]==])\n"
    "set(ENV{KVZ_SOURCE_DIR} [==[${PROJECT_SOURCE_DIR}]==])\n"
    "set(ENV{KVZ_EMULATOR} [==[${KVZ_EMULATOR}]==])\n")
  set_property(DIRECTORY APPEND PROPERTY TEST_INCLUDE_FILES "${_file}")
endfunction()
