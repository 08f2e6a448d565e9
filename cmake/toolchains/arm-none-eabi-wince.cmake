# Windows CE on ARM, the handheld release build: Debian's bare-metal
# arm-none-eabi GCC compiles ARM-mode ARMv4T code with soft float, which
# every ARMv4I CE device runs; cmake/KvzCeImage.cmake links each DLL as an
# ELF image and writes it as a CE PE DLL with the kit's own kvz_ce_image.
# No C library: CE's C runtime is coredll's, declared in platform/wince_crt.
set(CMAKE_SYSTEM_NAME Generic)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-none-eabi-gcc)
set(CMAKE_CXX_COMPILER arm-none-eabi-g++)

# CE makes enums int-sized and text 16-bit, where arm-none-eabi defaults to
# short enums and a 4-byte wchar_t. No unwind tables, static constructors or
# C++ runtime: the image has nothing to run them.
get_filename_component(_kvz_ce_crt "${CMAKE_CURRENT_LIST_DIR}/../../platform/wince_crt" ABSOLUTE)
set(_kvz_ce_flags "-marm -march=armv4t -mfloat-abi=soft -mno-unaligned-access")
string(APPEND _kvz_ce_flags " -fno-short-enums -fshort-wchar")
string(APPEND _kvz_ce_flags " -fno-unwind-tables -fno-asynchronous-unwind-tables")
string(APPEND _kvz_ce_flags " -D_WIN32_WCE=0x500 -DUNICODE -D_UNICODE -isystem ${_kvz_ce_crt}")
set(CMAKE_C_FLAGS_INIT "${_kvz_ce_flags}")
set(CMAKE_CXX_FLAGS_INIT
  "${_kvz_ce_flags} -fno-exceptions -fno-rtti -fno-threadsafe-statics -fno-use-cxa-atexit")

# No C runtime to link a test program against: probe with static libraries.
set(CMAKE_TRY_COMPILE_TARGET_TYPE STATIC_LIBRARY)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)

# This build's DLLs are written by kvz_ce_image (KvzCeImage.cmake); only
# the handheld libraries are built.
set(KVZ_CE_IMAGE ON CACHE BOOL "DLLs are CE images written from linked ELF files" FORCE)
set(KVZ_HANDHELD_ONLY ON CACHE BOOL "" FORCE)
