# Linux on 32-bit ARM (armhf) with Debian's arm-linux-gnueabihf cross compilers:
# the host build with the handheld's 32-bit pointers, unsigned char and strict
# alignment. Programs and tests run under qemu-arm through tools/qemu-run.
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)
set(CMAKE_C_COMPILER arm-linux-gnueabihf-gcc)
set(CMAKE_CXX_COMPILER arm-linux-gnueabihf-g++)
# ARM instructions rather than Debian's default Thumb-2, as the handheld
# build uses; function addresses are then even, as the alignment checks of
# the host-arm32 preset expect.
set(CMAKE_C_FLAGS_INIT "-marm")
set(CMAKE_CXX_FLAGS_INIT "-marm")
set(CMAKE_FIND_ROOT_PATH /usr/arm-linux-gnueabihf)
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_CROSSCOMPILING_EMULATOR "${CMAKE_CURRENT_LIST_DIR}/../../tools/qemu-run")
