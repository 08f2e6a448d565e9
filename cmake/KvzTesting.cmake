# Test helpers. Host tests link Debian's GoogleTest; the win32 build compiles
# the same GoogleTest from Debian's sources with mingw and runs under Wine.
include(GoogleTest)

if(NOT TARGET kvz_gtest_main)
  if(WIN32)
    set(KVZ_GTEST_SOURCE_DIR "/usr/src/googletest/googletest" CACHE PATH "GoogleTest sources")
    add_library(kvz_gtest_main STATIC
      "${KVZ_GTEST_SOURCE_DIR}/src/gtest-all.cc"
      "${KVZ_GTEST_SOURCE_DIR}/src/gtest_main.cc")
    target_include_directories(kvz_gtest_main SYSTEM PUBLIC "${KVZ_GTEST_SOURCE_DIR}/include"
      PRIVATE "${KVZ_GTEST_SOURCE_DIR}")
  else()
    find_package(GTest REQUIRED)
    add_library(kvz_gtest_main INTERFACE)
    target_link_libraries(kvz_gtest_main INTERFACE GTest::gtest_main GTest::gmock)
  endif()
endif()

# kvz_add_gtest(target SOURCES ... [LIBS ...])
# A GoogleTest program in bin/, its cases registered with CTest as
# "<target>.<Suite>.<Case>", discovered when the tests run.
function(kvz_add_gtest target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE kvz_gtest_main kvz_platform kvz_archive_api ${ARG_LIBS})
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  gtest_discover_tests(${target}
    TEST_PREFIX "${target}."
    WORKING_DIRECTORY "${KVZ_BIN_DIR}"
    DISCOVERY_MODE PRE_TEST
    DISCOVERY_TIMEOUT 60
    PROPERTIES ENVIRONMENT "KVZ_BIN_DIR=${KVZ_BIN_DIR};KVZ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endfunction()
