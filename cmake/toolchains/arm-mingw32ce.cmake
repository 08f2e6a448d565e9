# Windows CE on ARM with the cegcc project's arm-mingw32ce cross compiler.
# This machine has no such toolchain: the file is kept so the handheld build
# stays one configure away on a machine that has it
# (cmake --preset wince && cmake --build --preset wince builds pdaKVZ.dll).
set(CMAKE_SYSTEM_NAME WindowsCE)
set(CMAKE_SYSTEM_VERSION 5.0)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(KVZ_CEGCC_ROOT "/opt/mingw32ce" CACHE PATH "Install prefix of cegcc")
set(CMAKE_C_COMPILER "${KVZ_CEGCC_ROOT}/bin/arm-mingw32ce-gcc")
set(CMAKE_CXX_COMPILER "${KVZ_CEGCC_ROOT}/bin/arm-mingw32ce-g++")
set(CMAKE_FIND_ROOT_PATH "${KVZ_CEGCC_ROOT}/arm-mingw32ce")
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc")
# Only the proxy is built for the handheld.
set(KVZ_HANDHELD_ONLY ON CACHE BOOL "" FORCE)
