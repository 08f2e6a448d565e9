# The handheld flavour of pdaKVZ.dll for 32-bit ARM Windows (ARMv7, Thumb-2),
# built with Debian's clang and lld and linked against coredll.dll's export
# list alone, so that every call CE lacks fails the link. The result is
# checked by tests/wince/check_pdaKVZ.sh, never run or packaged; the release
# build for the handheld stays the wince preset (cegcc, ARM mode).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER clang)
set(CMAKE_CXX_COMPILER clang++)
set(CMAKE_C_COMPILER_TARGET armv7-w64-windows-gnu)
set(CMAKE_CXX_COMPILER_TARGET armv7-w64-windows-gnu)
set(CMAKE_AR llvm-ar CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib CACHE FILEPATH "")
set(CMAKE_LINKER lld-link CACHE FILEPATH "")
set(KVZ_DLLTOOL llvm-dlltool CACHE FILEPATH "Makes the import library of coredll.dll")

# The desktop mingw-w64 headers declare the calls; CE's differences come from
# platform/wince.h. Neither the build machine's headers nor a C++ library are
# searched.
set(KVZ_MINGW_INCLUDE "/usr/share/mingw-w64/include" CACHE PATH "mingw-w64 headers")
set(_kvz_ce_flags "-D_WIN32_WCE=0x500 -DUNICODE -D_UNICODE -nostdlibinc -nostdinc++")
set(CMAKE_C_FLAGS_INIT "${_kvz_ce_flags} -idirafter ${KVZ_MINGW_INCLUDE}")
set(CMAKE_CXX_FLAGS_INIT "${_kvz_ce_flags} -idirafter ${KVZ_MINGW_INCLUDE}")

# No C runtime to link a test program against: probe with static libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
# lld-link itself links, without default libraries (rules in this file).
set(CMAKE_USER_MAKE_RULES_OVERRIDE "${CMAKE_CURRENT_LIST_DIR}/clang-armv7-wince-rules.cmake")

# Only the proxy is built for the handheld, against coredll.dll alone.
set(KVZ_HANDHELD_ONLY ON CACHE BOOL "" FORCE)
set(KVZ_LINK_COREDLL ON CACHE BOOL "" FORCE)
