# Interception tests that cannot share the proxy's unit test program.
# Included by this folder's CMakeLists.txt right after it gathers its sources.

list(FILTER _proxy_unit_sources EXCLUDE REGEX "/intercept_(alloc|stress)_test\\.cpp$")

set(_intercept_libs pdaKVZ fake_pda)

# Eight threads of std::thread, which the win32 toolchain (win32 thread model)
# lacks: host builds only. Labelled for the ThreadSanitizer run.
if(NOT WIN32)
  add_executable(intercept_stress_tests intercept_stress_test.cpp)
  target_link_libraries(intercept_stress_tests PRIVATE kvz_gtest_main kvz_platform kvz_archive_api)
  target_compile_options(intercept_stress_tests PRIVATE -Wall -Wextra -Werror)
  add_dependencies(intercept_stress_tests ${_intercept_libs})
  add_test(NAME intercept_stress_tests COMMAND intercept_stress_tests)
  set_tests_properties(intercept_stress_tests PROPERTIES LABELS tsan TIMEOUT 600
    WORKING_DIRECTORY "${KVZ_BIN_DIR}"
    ENVIRONMENT "KVZ_BIN_DIR=${KVZ_BIN_DIR};KVZ_SOURCE_DIR=${PROJECT_SOURCE_DIR}")
endif()

# Counts allocations by defining malloc over glibc's __libc_malloc, and reads
# the POSIX layer's lock and clock counters: host builds without the
# sanitizers that own malloc.
if(NOT WIN32 AND NOT KVZ_SANITIZE MATCHES "address|thread")
  kvz_add_gtest(intercept_alloc_tests SOURCES intercept_alloc_test.cpp)
  add_dependencies(intercept_alloc_tests ${_intercept_libs})
endif()
