# Desktop Windows with Debian's mingw-w64 cross compilers, for the processor
# that the including toolchain file sets in CMAKE_SYSTEM_PROCESSOR (i686 or
# x86_64). PE tests run under Wine through CMAKE_CROSSCOMPILING_EMULATOR.
set(CMAKE_SYSTEM_NAME Windows)
set(_kvz_mingw "${CMAKE_SYSTEM_PROCESSOR}-w64-mingw32")
# The posix thread model gives the tests std::thread; -static below links its
# winpthread into each PE file.
set(CMAKE_C_COMPILER ${_kvz_mingw}-gcc-posix)
set(CMAKE_CXX_COMPILER ${_kvz_mingw}-g++-posix)
set(CMAKE_RC_COMPILER ${_kvz_mingw}-windres)
set(CMAKE_FIND_ROOT_PATH /usr/${_kvz_mingw})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
# No PE file may need a mingw runtime DLL beside it.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static -static-libgcc -static-libstdc++")
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../tools/wine-run")
