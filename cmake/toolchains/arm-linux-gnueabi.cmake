# Linux on soft-float 32-bit ARM (armel: ARMv5TE) with Debian's
# arm-linux-gnueabi cross compilers: the host build whose POSIX layer also
# loads the handheld's CE ARM images. Programs and tests run under qemu-arm on
# an Intel XScale (-cpu pxa270) through tools/qemu-run, which tells armel
# programs from armhf ones by their ELF header.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabi-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabi-g++)
# ARM instructions, as the handheld images use; function addresses are even.
set(CMAKE_C_FLAGS_INIT "-marm")
set(CMAKE_CXX_FLAGS_INIT "-marm")
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabi)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../tools/qemu-run")
# libubsan (the alignment checks of the host-armel preset) needs 64-bit
# atomics, which ARMv5TE lacks; libatomic provides them.
set(CMAKE_C_STANDARD_LIBRARIES_INIT "-latomic")
set(CMAKE_CXX_STANDARD_LIBRARIES_INIT "-latomic")
