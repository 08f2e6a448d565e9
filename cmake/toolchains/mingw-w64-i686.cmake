# Desktop Windows, 32-bit x86: the PE files the package ships.
set(CMAKE_SYSTEM_PROCESSOR i686)
include("${CMAKE_CURRENT_LIST_DIR}/mingw-w64-common.cmake")
